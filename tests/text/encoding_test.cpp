// Code page 936 conversion, checked against ICU's own "windows-936" converter
// (the tables are read from it, but converting goes through our own walk),
// and delimiter extraction.
#include "text/encoding.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace velinor {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter Open(bool stopOnError) {
  UErrorCode error = U_ZERO_ERROR;
  Converter converter(ucnv_open("windows-936", &error));
  EXPECT_TRUE(U_SUCCESS(error)) << u_errorName(error);
  if (stopOnError) {
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &error);
  }
  return converter;
}

// ICU with its default substitution, on the whole input.
std::u16string IcuDecode(std::string_view bytes) {
  const Converter converter = Open(false);
  std::u16string out(bytes.size() * 2 + 2, u'\0');
  UErrorCode error = U_ZERO_ERROR;
  const int32_t n = ucnv_toUChars(converter.get(), out.data(), static_cast<int32_t>(out.size()),
                                  bytes.data(), static_cast<int32_t>(bytes.size()), &error);
  EXPECT_TRUE(U_SUCCESS(error)) << u_errorName(error);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::string IcuEncode(std::u16string_view units) {
  const Converter converter = Open(false);
  std::string out(units.size() * 2 + 2, '\0');
  UErrorCode error = U_ZERO_ERROR;
  const int32_t n = ucnv_fromUChars(converter.get(), out.data(), static_cast<int32_t>(out.size()),
                                    units.data(), static_cast<int32_t>(units.size()), &error);
  EXPECT_TRUE(U_SUCCESS(error)) << u_errorName(error);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

ByteBuffer LittleEndian(std::u16string_view units, bool terminated) {
  ByteBuffer bytes;
  for (const char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

std::string ToUtf8(std::u16string_view units) {
  std::string out(units.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, units.data(),
              static_cast<int32_t>(units.size()), &error);
  EXPECT_TRUE(U_SUCCESS(error)) << u_errorName(error);
  out.resize(static_cast<std::size_t>(length));
  return out;
}

// --- AnsiToUnicode / UnicodeToAnsi ------------------------------------------

TEST(AnsiToUnicode, Table) {
  struct Case {
    const char* name;
    std::string text;
    bool strip;
    ByteBuffer expected;
  } const cases[] = {
      {"empty text gives the empty buffer", "", false, {}},
      {"empty text with the strip flag", "", true, {}},
      {"ASCII with the terminator", "a", false, {0x61, 0, 0, 0}},
      {"two-byte character", "\xD6\xD0", false, {0x2D, 0x4E, 0, 0}},
      {"strip flag drops the terminator",
       "\xD6\xD0"
       "a",
       true,
       {0x2D, 0x4E, 0x61, 0}},
      {"0x80 is the euro sign", "\x80", false, {0xAC, 0x20, 0, 0}},
      {"a zero byte ends the text", std::string("a\0b", 3), false, {0x61, 0, 0, 0}},
      {"leading zero byte is an empty text", std::string("\0b", 2), false, {}},
      {"bad second byte: ICU's substitution, then the byte itself",
       "\x81\x20"
       "a",
       false,
       {0xFD, 0xFF, 0x20, 0, 0x61, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AnsiToUnicode(c.text, c.strip), c.expected);
  }
}

TEST(UnicodeToAnsi, Table) {
  struct Case {
    const char* name;
    ByteBuffer units;
    std::string expected;
  } const cases[] = {
      {"terminated string", {0x61, 0, 0x62, 0, 0, 0}, "ab"},
      {"stops at the first zero unit", {0x61, 0, 0, 0, 0x62, 0}, "a"},
      {"odd last byte is ignored", {0x61, 0, 0x62}, "a"},
      {"empty buffer", {}, ""},
      {"single odd byte", {0x61}, ""},
      {"no terminator needed", {0x2D, 0x4E}, "\xD6\xD0"},
      {"euro sign", {0xAC, 0x20}, "\x80"},
      {"no code-page-936 form", {0x61, 0, 0xF1, 0x00, 0x62, 0}, "a?b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UnicodeToAnsi(c.units), c.expected);
  }
}

// A base character and the marks after it compose into the precomposed
// character where Unicode has one, before conversion; the rows give the
// text that the input must convert like.
TEST(UnicodeToAnsi, ComposesCombiningMarks) {
  struct Case {
    const char* name;
    std::u16string input;
    std::u16string convertsLike;
  } const cases[] = {
      {"e and acute", u"e\u0301", u"\u00E9"},
      {"u, diaeresis, acute: two steps", u"u\u0308\u0301", u"\u01D8"},
      {"kana and voiced mark", u"\u304B\u3099", u"\u304C"},
      {"composed form without a code-page-936 form", u"n\u0303", u"\u00F1"},
      {"mark that composes with nothing stays apart", u"x\u0301", u"x\u0301"},
      {"mark at the start", u"\u0301a", u"\u0301a"},
      {"mark right after eight ASCII units", u"abcdefge\u0301ijklmnop", u"abcdefg\u00E9ijklmnop"},
      {"mark after the ninth ASCII unit", u"abcdefghe\u0301", u"abcdefgh\u00E9"},
      {"two-byte base", u"\u4E2D\u0301", u"\u4E2D\u0301"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string expected = IcuEncode(c.convertsLike);
    EXPECT_EQ(Utf16ToAnsi(c.input), expected);
    EXPECT_EQ(UnicodeToAnsi(LittleEndian(c.input, false)), expected);
  }
  EXPECT_EQ(Utf16ToAnsi(u"e\u0301"), "\xA8\xA6");
}

TEST(UnicodeToAnsi, SurrogatesBecomeOneQuestionMarkEach) {
  struct Case {
    const char* name;
    std::u16string input;
    std::string expected;
  } const cases[] = {
      {"pair", u"a\U0001F600b", "a?b"},
      {"two pairs", u"\U0001F600\U00020000", "??"},
      {"lone high surrogate", std::u16string{u'a', 0xD800, u'b'}, "a?b"},
      {"lone low surrogate", std::u16string{0xDC00, u'b'}, "?b"},
      {"high surrogate at the end", std::u16string{u'a', 0xD800}, "a?"},
      {"reversed pair", std::u16string{0xDC00, 0xD800}, "??"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf16ToAnsi(c.input), c.expected);
    EXPECT_EQ(UnicodeToAnsi(LittleEndian(c.input, true)), c.expected);
  }
}

// Every code that ICU's table decodes converts to its one unit and back.
TEST(CodePage936, EveryValidCodeRoundTrips) {
  const Converter strict = Open(true);
  std::string all;
  std::u16string allUnits;
  int doubleCodes = 0;
  for (int first = 1; first < 256; ++first) {
    for (int second = -1; second < 256; ++second) {
      std::string code(1, static_cast<char>(first));
      if (second >= 0) code.push_back(static_cast<char>(second));
      char16_t unit[4];
      UErrorCode error = U_ZERO_ERROR;
      ucnv_resetToUnicode(strict.get());
      const int32_t n = ucnv_toUChars(strict.get(), unit, 4, code.data(),
                                      static_cast<int32_t>(code.size()), &error);
      if (U_FAILURE(error) || n != 1) continue;
      if (second >= 0) ++doubleCodes;
      ASSERT_EQ(AnsiToUnicode(code), LittleEndian(std::u16string(1, unit[0]), true))
          << std::hex << first << " " << second;
      ASSERT_EQ(UnicodeToAnsi(AnsiToUnicode(code)), code) << std::hex << first << " " << second;
      all += code;
      allUnits += unit[0];
    }
  }
  // Sanity of the oracle: all of GBK's two-byte area was seen.
  EXPECT_GT(doubleCodes, 20000);
  for (int b = 1; b <= 0x80; ++b) {
    const std::string code(1, static_cast<char>(b));
    EXPECT_EQ(UnicodeToAnsi(AnsiToUnicode(code)), code) << b;
  }
  // The same codes as one long text, through the block-wise paths.
  EXPECT_EQ(AnsiToUtf16(all), allUnits);
  EXPECT_EQ(Utf16ToAnsi(allUnits), all);
  EXPECT_EQ(UnicodeToAnsi(AnsiToUnicode(all)), all);
}

// Every BMP character converts as ICU converts it alone, except that the
// default-ignorable ones without a form (which ICU drops) also become "?".
TEST(CodePage936, EveryCharacterEncodesAsIcuDoes) {
  for (char16_t unit = 1; unit != 0; ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    const std::u16string one(1, unit);
    std::string expected = IcuEncode(one);
    if (expected.empty() && u_hasBinaryProperty(unit, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) {
      expected = "?";
    }
    ASSERT_EQ(Utf16ToAnsi(one), expected) << std::hex << static_cast<int>(unit);
  }
}

TEST(CodePage936, InvalidBytesDecodeAsIcuDoes) {
  const std::string chinese = "\xD6\xD0\xCE\xC4\xB5\xC4\xD2\xB3\xC3\xE6";
  const std::string ascii = "<div class=\"title\">";
  const std::string cases[] = {
      "\x81\x20"
      "a",  // second byte out of range, ASCII
      "\xFF"
      "a",                 // 0xFF
      "a\x81",             // lone lead byte at the end
      "\x81\x30\x81\x30",  // four-byte GB18030 form, not in code page 936
      "\x81\x7F"
      "b",     // 0x7F is no second byte
      "\xA1",  // nothing but a lead byte
      "\xA1\xFF"
      "a",                     // 0xFF as a second byte
      "\x80\x81\x40",          // the euro sign is one byte
      ascii + ascii + "\x81",  // lone lead byte after the block-wise ASCII path
      chinese + "\x81\x20" + chinese + ascii + "\xFE",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    const std::u16string expected = IcuDecode(text);
    EXPECT_EQ(AnsiToUtf16(text), expected);
    EXPECT_EQ(AnsiToUnicode(text), LittleEndian(expected, true));
    EXPECT_EQ(AnsiToUtf8(text), ToUtf8(expected));
  }
}

TEST(CodePage936, RandomBytesDecodeAsIcuDoes) {
  std::mt19937 engine(936);
  std::uniform_int_distribution<int> length(1, 60);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 3000; ++round) {
    std::string text(static_cast<std::size_t>(length(engine)), '\0');
    for (char& c : text) {
      // Mostly lead-byte territory and ASCII, never zero.
      const int b = byte(engine);
      c = static_cast<char>(b == 0 ? 'a' : (b < 96 ? b % 32 + 'A' : b));
    }
    const std::vector<char> exact(text.begin(), text.end());  // no spare capacity to read
    const std::string_view view(exact.data(), exact.size());
    const std::u16string expected = IcuDecode(text);
    ASSERT_EQ(AnsiToUtf16(view), expected) << testing::PrintToString(text);
    ASSERT_EQ(AnsiToUnicode(view), LittleEndian(expected, true)) << testing::PrintToString(text);
  }
}

// Random runs of ASCII, two-byte characters, composing marks and surrogates
// against ICU: NFC first, then ICU's conversion. The marks all have the same
// combining class, so NFC reorders nothing and composes exactly the pairs that
// a base and the marks right after it form.
TEST(CodePage936, RandomUnitsEncodeAsIcuDoes) {
  UErrorCode error = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
  ASSERT_TRUE(U_SUCCESS(error));
  const char16_t alphabet[] = {u'a',      u'e',      u'u',      u'n',   u'\u4E2D',
                               u'\u00E9', u'\u0301', u'\u0308', 0xD83D, 0xDE00};
  std::mt19937 engine(1252);
  std::uniform_int_distribution<int> length(0, 40);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1);
  for (int round = 0; round < 3000; ++round) {
    std::u16string units(static_cast<std::size_t>(length(engine)), u'a');
    for (char16_t& unit : units) unit = alphabet[pick(engine)];
    std::u16string composed(units.size() + 1, u'\0');
    error = U_ZERO_ERROR;
    const int32_t n =
        unorm2_normalize(nfc, units.data(), static_cast<int32_t>(units.size()), composed.data(),
                         static_cast<int32_t>(composed.size()), &error);
    ASSERT_TRUE(U_SUCCESS(error));
    composed.resize(static_cast<std::size_t>(n));
    const std::string expected = IcuEncode(composed);

    const std::vector<char16_t> exact(units.begin(), units.end());
    ASSERT_EQ(Utf16ToAnsi({exact.data(), exact.size()}), expected)
        << testing::PrintToString(AnsiToUtf8(Utf16ToAnsi(units)));
    const ByteBuffer bytes = LittleEndian(units, false);
    ASSERT_EQ(UnicodeToAnsi(bytes), expected);
  }
}

// --- UTF-8 ------------------------------------------------------------------

TEST(Utf8, ConvertsBothWays) {
  const std::string title = "\xCF\xC2\xD4\xD8_\xD5\xFD\xB0\xE6";  // 下载_正版
  EXPECT_EQ(Utf8ToAnsi(u8"下载_正版"), title);
  EXPECT_EQ(Utf8ToAnsi(Utf8(u8"下载_正版")), title);
  EXPECT_EQ(AnsiToUtf8(title), Utf8(u8"下载_正版"));
  EXPECT_EQ(Utf8ToAnsi(u8"#引号"), "#\xD2\xFD\xBA\xC5");
  EXPECT_EQ(Utf8ToAnsi("a\xC3(b"), "a?(b");  // malformed UTF-8
  EXPECT_EQ(Utf8ToAnsi(u8"\U0001F600"), "?");
  EXPECT_EQ(Utf8ToAnsi(""), "");
  EXPECT_EQ(AnsiToUtf8(""), "");
  EXPECT_EQ(AnsiToUtf8("\x80"), Utf8(u8"€"));
}

// --- delimiter extraction ---------------------------------------------------

TEST(TextLeftOf, Table) {
  struct Case {
    const char* name;
    std::string text, delimiter;
    int start;
    bool caseInsensitive;
    std::string expected;
  } const cases[] = {
      {"header name", "Host: a: b", ": ", 0, false, "Host"},
      {"counted from the first byte, not the start", "Host: a: b", ": ", 6, false, "Host: a"},
      {"absent delimiter", "Host: a", "; ", 0, false, ""},
      {"delimiter at position 1", ": a", ": ", 0, false, ""},
      {"start past the end", "a: b", ": ", 9, false, ""},
      {"case-insensitive", "keyXvalue", "x", 0, true, "key"},
      {"case-sensitive by default", "keyXvalue", "x", 0, false, ""},
      {"delimiter in a second byte is skipped", "\xB0:a:b", ":", 0, false, "\xB0:a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextLeftOf(c.text, c.delimiter, c.start, c.caseInsensitive), c.expected);
  }
}

TEST(TextBetween, Table) {
  const std::string title = Utf8ToAnsi(u8"下载_正版");
  const std::string quoteMarker = Utf8ToAnsi(u8"#引号");
  const std::string page = "<html><title>Rain" + title + "</title><source src=\"x.mp3\">";
  struct Case {
    const char* name;
    std::string text, opening, closing;
    int start;
    bool caseInsensitive;
    std::string expected;
  } const cases[] = {
      {"title", page, "<title>", title, 0, false, "Rain"},
      {"audio address", page, "<source src=\"", "\"", 0, false, "x.mp3"},
      {"marker stands for a quote", page, "<source src=" + quoteMarker, quoteMarker, 0, false,
       "x.mp3"},
      {"opening absent", page, "<body>", "<", 0, false, ""},
      {"closing absent after the opening", page, "<title>", "</body>", 0, false, ""},
      {"closing only before the opening", "b]a[c", "[", "]", 0, false, ""},
      {"empty closing delimiter", page, "<title>", "", 0, false, ""},
      {"closing right after the opening", "[]", "[", "]", 0, false, ""},
      {"case matters without the flag", "<TITLE>Rain</TITLE>", "<title>", "</title>", 0, false, ""},
      {"case folded with the flag", "<TITLE>Rain</TITLE>", "<title>", "</title>", 0, true, "Rain"},
      {"only the first opening counts", "[a[b]", "[", "]", 0, false, "a[b"},
      {"start skips an earlier pair", "[a][b]", "[", "]", 4, false, "b"},
      {"opening at the very end", "ab[", "[", "]", 0, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextBetween(c.text, c.opening, c.closing, c.start, c.caseInsensitive), c.expected);
  }
}

}  // namespace
}  // namespace velinor
