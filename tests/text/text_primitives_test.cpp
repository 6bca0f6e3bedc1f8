// Edge behaviour of the text, byte-buffer and array primitives. Two-byte
// characters are written as hex escapes; a letter after an escape is split off
// ("\xB0" "A") so that it is not read as a further hex digit.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "text/text.h"

namespace velinor {
namespace {

struct FindCase {
  const char* name;
  std::string text;
  std::string sought;
  int start;
  bool caseInsensitive;
  int expected;
};

TEST(FindText, Table) {
  const std::string longRun = [] {
    std::string s;
    for (int i = 0; i < 20; ++i)
      s += "\xB0"
           "A";  // every 'A' is a second byte
    return s + "A";
  }();
  const FindCase cases[] = {
      {"empty needle is found at 1", "abc", "", 1, false, 1},
      {"empty needle with a later start still gives 1", "abc", "", 3, false, 1},
      {"empty needle in an empty text", "", "", 1, false, -1},
      {"empty needle with a start past the end", "abc", "", 4, false, -1},
      {"start past the end", "abc", "c", 4, false, -1},
      {"start 0 searches from the first byte", "abc", "a", 0, false, 1},
      {"negative start searches from the first byte", "abc", "a", -5, false, 1},
      {"most negative start", "abc", "b", INT_MIN, false, 2},
      {"largest start", "abc", "b", INT_MAX, false, -1},
      {"start skips an earlier occurrence", "abab", "ab", 2, false, 3},
      {"second byte is never a match start",
       "\xB0"
       "A",
       "A", 1, false, -1},
      {"one-byte character before a two-byte one",
       "A\xB0"
       "A",
       "A", 1, false, 1},
      {"match after a two-byte character",
       "1\xB0"
       "AA",
       "A", 1, false, 4},
      {"start on a second byte shifts the grid",
       "\xB0"
       "AA",
       "A", 2, false, 2},
      {"needle at the very end", "xyzab", "ab", 1, false, 4},
      {"needle longer than the text", "ab", "abc", 1, false, -1},
      {"lone lead byte at the end can match", "a\xB0", "\xB0", 1, false, 2},
      {"two-byte needle",
       "a\xD6\xD0"
       "b",
       "\xD6\xD0", 1, false, 2},
      {"case differs without the flag", "x: content-type", "Content-Type", 1, false, -1},
      {"case folded with the flag", "x: content-type", "Content-Type", 1, true, 4},
      {"second bytes fold too",
       "\x81"
       "a",
       "\x81"
       "A",
       1, true, 1},
      {"only letters fold", "[", "{", 1, true, -1},
      {"long run of two-byte characters", longRun, "A", 1, false, 41},
      {"long run, case-insensitive", longRun, "a", 1, true, 41},
      {"long run, no match on the grid", longRun.substr(0, 40), "A", 1, false, -1},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindText(c.text, c.sought, c.start, c.caseInsensitive), c.expected);
  }
}

TEST(TextSlices, CountBytesAndClamp) {
  EXPECT_EQ(TextLeft("", -2), "");
  EXPECT_EQ(TextLeft("abc", 0), "");
  EXPECT_EQ(TextLeft("abc", 2), "ab");
  EXPECT_EQ(TextLeft("abc", INT_MAX), "abc");
  EXPECT_EQ(TextRight("abc", 2), "bc");
  EXPECT_EQ(TextRight("abc", -1), "");
  EXPECT_EQ(TextRight("abc", 9), "abc");
  EXPECT_EQ(TextMid("abc", 0, 2), "");
  EXPECT_EQ(TextMid("abc", INT_MIN, 2), "");
  EXPECT_EQ(TextMid("abc", 2, 5), "bc");
  EXPECT_EQ(TextMid("abc", 3, 1), "c");
  EXPECT_EQ(TextMid("abc", 4, 1), "");
  EXPECT_EQ(TextMid("abc", 2, 0), "");
  EXPECT_EQ(TextMid("abc", 2, INT_MAX), "bc");
  // Cuts ignore character boundaries.
  EXPECT_EQ(TextMid("\xB0\xA1x", 2, 1), "\xA1");
  EXPECT_EQ(TextLength("\xB0\xA1x"), 3);
  EXPECT_EQ(TextLength(""), 0);
}

struct ReplaceCase {
  const char* name;
  std::string text;
  std::string sought;
  std::string replacement;
  int start;
  int count;
  bool caseSensitive;
  std::string expected;
};

TEST(ReplaceText, Table) {
  const ReplaceCase cases[] = {
      {"omitted replacement deletes, case folded", "set-cookie: a=1", "Set-Cookie:", "", 1, -1,
       false, " a=1"},
      {"case-sensitive flag keeps other case", "set-cookie: a=1", "Set-Cookie:", "", 1, -1, true,
       "set-cookie: a=1"},
      {"all occurrences", "a,b,c", ",", "-", 1, -1, true, "a-b-c"},
      {"count 1 replaces the first only", "a,b,c", ",", "-", 1, 1, true, "a-b,c"},
      {"count 0 changes nothing", "a,b,c", ",", "-", 1, 0, true, "a,b,c"},
      {"empty sought text changes nothing", "abc", "", "-", 1, -1, true, "abc"},
      {"empty text", "", "a", "-", 1, -1, true, ""},
      {"start leaves earlier bytes alone", "a,b,c", ",", "-", 3, -1, true, "a,b-c"},
      {"start below 1 is the first byte", ",a", ",", "-", INT_MIN, -1, true, "-a"},
      {"start past the end", "a,b", ",", "-", 4, -1, true, "a,b"},
      {"replacements are not rescanned", "aa", "a", "aa", 1, -1, true, "aaaa"},
      {"second byte is not replaced",
       "\xB0"
       "AA",
       "A", "x", 1, -1, true,
       "\xB0"
       "Ax"},
      {"second bytes fold without the flag",
       "\x81"
       "a",
       "\x81"
       "A",
       "x", 1, -1, false, "x"},
      {"grid resumes after a replaced lead byte",
       "\xB0"
       "AA",
       "\xB0", "", 1, -1, true, "AA"},
      {"one-byte needle drops a lone lead byte at the end", "ab\xB0", "x", "y", 1, -1, true, "ab"},
      {"longer needle keeps a lone lead byte at the end", "ab\xB0", "xy", "z", 1, -1, true,
       "ab\xB0"},
      {"lone lead byte that is a second byte stays", "\xB0\xB0", "x", "y", 1, -1, true, "\xB0\xB0"},
      {"scan stopped by the count keeps the rest", "a,\xB0", ",", "-", 1, 1, true, "a-\xB0"},
      {"lone lead byte itself can be replaced", "a\xB0", "\xB0", "y", 1, -1, true, "ay"},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReplaceText(c.text, c.sought, c.replacement, c.start, c.count, c.caseSensitive),
              c.expected);
  }
}

TEST(ReplaceText, DefaultsDeleteEveryOccurrenceIgnoringCase) {
  EXPECT_EQ(ReplaceText("aXbxc", "x"), "abc");
}

struct SplitCase {
  const char* name;
  std::string text;
  std::string delimiter;
  std::optional<int> maximum;
  std::vector<std::string> expected;
};

TEST(SplitText, Table) {
  const SplitCase cases[] = {
      {"empty text gives no pieces", "", ";", std::nullopt, {}},
      {"empty delimiter gives the whole text", "abc", "", std::nullopt, {"abc"}},
      {"empty pieces kept, no empty last piece", "a;;b;", ";", std::nullopt, {"a", "", "b"}},
      {"delimiter at the start", ";a;;b", ";", std::nullopt, {"", "a", "", "b"}},
      {"text that is one delimiter", ";", ";", std::nullopt, {""}},
      {"no delimiter in the text", "abc", ";", std::nullopt, {"abc"}},
      {"maximum drops the rest", "a,b,c", ",", 2, {"a", "b"}},
      {"maximum without a delimiter keeps the text", "abc", ",", 1, {"abc"}},
      {"maximum 0", "a,b", ",", 0, {}},
      {"negative maximum counts as 0", "a,b", ",", -1, {}},
      {"large maximum", "a,b", ",", INT_MAX, {"a", "b"}},
      {"delimiter in a second byte is skipped", "\xB0,a,b", ",", std::nullopt, {"\xB0,a", "b"}},
      {"lone lead byte at the end stays in the last piece",
       "a,\xB0",
       ",",
       std::nullopt,
       {"a", "\xB0"}},
      {"multi-byte delimiter", "a::b:c", "::", std::nullopt, {"a", "b:c"}},
      {"letters are never folded", "aXbxc", "x", std::nullopt, {"aXb", "c"}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SplitText(c.text, c.delimiter, c.maximum), c.expected);
  }
  EXPECT_EQ(SplitText("a,b"), (std::vector<std::string>{"a", "b"}));
}

struct SpacesCase {
  const char* name;
  std::string text;
  std::string trimmed;
  std::string withoutSpaces;
};

TEST(Spaces, TrimBothAndRemoveSpaces) {
  const SpacesCase cases[] = {
      {"tabs are not spaces", "\tab\t", "\tab\t", "\tab\t"},
      {"full-width spaces",
       "\xA1\xA1"
       "a b\xA1\xA1",
       "a b", "ab"},
      {"spaces only", "  \xA1\xA1 ", "", ""},
      {"line breaks remain", " a\r\nb ", "a\r\nb", "a\r\nb"},
      {"space as a second byte stays", "\xB0 ", "\xB0 ", "\xB0 "},
      {"lone lead byte at the end goes, spaces before it stay", "a \xB0", "a ", "a"},
      {"lone lead byte after a full-width space", "a\xA1\xA1\xA1", "a\xA1\xA1", "a"},
      {"0xA1 as a second byte, then a lone 0xA1", "\xB0\xA1\xA1", "\xB0\xA1", "\xB0\xA1"},
      {"half a full-width space is not a space", "a\xA1", "a", "a"},
      {"two-byte characters between spaces", " \xD6\xD0 \xCE\xC4 ", "\xD6\xD0 \xCE\xC4",
       "\xD6\xD0\xCE\xC4"},
      {"empty text", "", "", ""},
  };
  for (const SpacesCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TrimBoth(c.text), c.trimmed);
    EXPECT_EQ(RemoveSpaces(c.text), c.withoutSpaces);
  }
}

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(CompareText, FoldsOnlyOneByteLetters) {
  struct Case {
    const char* name;
    std::string a, b;
    bool caseSensitive;
    int sign;
  } const cases[] = {
      {"letters fold without the flag", "Content-Type", "content-type", false, 0},
      {"letters differ with the flag", "Content-Type", "content-type", true, -1},
      {"two-byte characters never fold",
       "\xB0"
       "A",
       "\xB0"
       "a",
       false, -1},
      {"prefix sorts first", "a", "ab", false, -1},
      {"later letter sorts after", "b", "A", false, 1},
      {"lead bytes are unsigned", "\xB0\xA1", "z", false, 1},
      {"both empty", "", "", false, 0},
      {"lone lead bytes at the end", "a\xB0", "a\xB0", true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Sign(CompareText(c.a, c.b, c.caseSensitive)), c.sign);
    EXPECT_EQ(Sign(CompareText(c.b, c.a, c.caseSensitive)), -c.sign);
  }
}

TEST(CompareExact, UnsignedBytesAndPrefixes) {
  EXPECT_EQ(CompareExact("a", "b"), -1);
  EXPECT_EQ(CompareExact("\xB0", "a"), 1);
  EXPECT_EQ(CompareExact("ab", "a"), 1);
  EXPECT_EQ(CompareExact("a", "A"), 1);
  EXPECT_EQ(CompareExact("", ""), 0);
  EXPECT_EQ(CompareExact("abc", "abc"), 0);
}

TEST(ToNumber, Table) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* name;
    std::string text;
    float expected;
  } const cases[] = {
      {"reading stops at a second point", "1.2.0", 1.2f},
      {"empty text", "", 0.0f},
      {"letters only", "abc", 0.0f},
      {"leading space", " 3", 3.0f},
      {"leading tab and line break", "\t\n3", 3.0f},
      {"1.10 is 1.1", "1.10", 1.1f},
      {"full-width digits and point", "\xA3\xB1\xA3\xAE\xA3\xB5", 1.5f},
      {"full-width space before a number",
       "\xA1\xA1"
       "5",
       5.0f},
      {"full-width sign and exponent",
       "\xA3\xAD"
       "2\xA3\xE5"
       "2",
       -200.0f},
      {"other two-byte characters end the number",
       "7\xD6\xD0"
       "8",
       7.0f},
      {"d exponent", "1d3", 1000.0f},
      {"D exponent with a sign", "25D-1", 2.5f},
      {"E exponent", "2E-1", 0.2f},
      {"exponent without digits is not read", "1e+", 1.0f},
      {"trailing text ignored", "-4.5x", -4.5f},
      {"plus sign", "+7", 7.0f},
      {"point without digits", ".", 0.0f},
      {"leading point", ".5", 0.5f},
      {"trailing point", "5.", 5.0f},
      {"sign only", "-", 0.0f},
      {"rounded to a float", "16777217", 16777216.0f},
      {"rounded once, not through a double", "1.00000005960464477539062500001",
       std::nextafter(1.0f, 2.0f)},
      {"largest float", "3.4028235e38", std::numeric_limits<float>::max()},
      {"beyond the float range", "1e39", inf},
      {"negative beyond the float range", "-1e39", -inf},
      {"huge exponent", "1e99999999999999999999", inf},
      {"many digits", "100000000000000000000000000000000000000000000000", inf},
      {"below the smallest float", "1e-50", 0.0f},
      {"tiny with many zeros", "0.0000000000000000000000000000000000000000000000000001", 0.0f},
      {"zero with a huge exponent", "0e999999999", 0.0f},
      {"smallest subnormal", "1.4e-45", std::numeric_limits<float>::denorm_min()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToNumber(c.text), c.expected);
  }
  EXPECT_EQ(ToNumber("1.2.0"), ToNumber("1.2.1"));
  EXPECT_LT(ToNumber("1.10"), ToNumber("1.2.0"));
}

TEST(ByteBuffers, ClampAndCopy) {
  const ByteBuffer abc = {'a', 'b', 'c'};
  EXPECT_EQ(BytesToText(ByteBuffer{0x61, 0x00, 0x62}), "a");
  EXPECT_EQ(BytesToText(ByteBuffer{0x00, 0x62}), "");
  EXPECT_EQ(BytesToText(ByteBuffer{}), "");
  EXPECT_EQ(BytesToText(abc), "abc");
  EXPECT_EQ(TextToBytes("a\xB0"), (ByteBuffer{0x61, 0xB0}));
  EXPECT_EQ(TextToBytes(""), ByteBuffer{});

  EXPECT_EQ(BytesLeft(abc, -1), ByteBuffer{});
  EXPECT_EQ(BytesLeft(abc, 2), (ByteBuffer{'a', 'b'}));
  EXPECT_EQ(BytesLeft(abc, INT_MAX), abc);

  EXPECT_EQ(BytesMid(abc, 0, 2), (ByteBuffer{'a', 'b'}));
  EXPECT_EQ(BytesMid(abc, INT_MIN, 1), (ByteBuffer{'a'}));
  EXPECT_EQ(BytesMid(abc, 3, 5), (ByteBuffer{'c'}));
  EXPECT_EQ(BytesMid(abc, 4, 1), ByteBuffer{});
  EXPECT_EQ(BytesMid(abc, INT_MAX, 1), ByteBuffer{});
  EXPECT_EQ(BytesMid(abc, 2, -1), ByteBuffer{});
  EXPECT_EQ(BytesLength(abc), 3);
  EXPECT_EQ(BytesLength(ByteBuffer{}), 0);

  EXPECT_EQ(BlankBytes(-1), ByteBuffer{});
  EXPECT_EQ(BlankBytes(3), (ByteBuffer{0, 0, 0}));

  const char raw[] = {'x', '\0', 'y'};
  EXPECT_EQ(PointerToBytes(raw, 3), (ByteBuffer{'x', 0, 'y'}));
  EXPECT_EQ(PointerToBytes(raw, 0), ByteBuffer{});

  EXPECT_EQ(ConcatBytes(ByteBuffer{}, ByteBuffer{}), ByteBuffer{});
  EXPECT_EQ(ConcatBytes(abc, ByteBuffer{0}, abc), (ByteBuffer{'a', 'b', 'c', 0, 'a', 'b', 'c'}));
}

TEST(ConcatText, JoinsAnyKindOfPiece) {
  const std::string middle = "b";
  EXPECT_EQ(ConcatText("", ""), "");
  EXPECT_EQ(ConcatText("a", middle, std::string_view("\xD6\xD0")), "ab\xD6\xD0");
}

TEST(BitOr, CombinesAllArguments) {
  EXPECT_EQ(BitOr(0x20000000, INT32_MIN), static_cast<std::int32_t>(0xA0000000u));
  EXPECT_EQ(BitOr(1, 2, 4, 8), 15);
}

TEST(TextArrays, AppendCopiesInOrder) {
  TextArray list;
  EXPECT_EQ(ArrayCount(list), 0);
  EXPECT_TRUE(ArrayElements(list).empty());
  std::string piece = "first";
  ArrayAppend(list, piece);
  piece = "changed";
  ArrayAppend(list, "");
  ArrayAppend(list, "\xD6\xD0");
  ASSERT_EQ(ArrayCount(list), 3);
  const auto elements = ArrayElements(list);
  EXPECT_EQ(elements[0], "first");
  EXPECT_EQ(elements[1], "");
  EXPECT_EQ(elements[2], "\xD6\xD0");
}

}  // namespace
}  // namespace velinor
