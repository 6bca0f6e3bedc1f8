#include "text/regex_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/regex/spy_object.h"
#include "text/encoding.h"
#include "text/regexp_component.h"

namespace velinor {
namespace {

// Code page 936 from the UTF-8 of this file.
TextValue Ansi(std::string_view utf8) { return Utf8ToAnsi(utf8); }

constexpr std::string_view kCharsetPattern = R"(<meta.+?charset=[^\w]?([-\w]+))";

class RegexObjectTest : public ::testing::Test {
 protected:
  test::SpyScope spy_{"VBScript.RegExp", MakeRegExpComponent};
  std::vector<std::string>& log_ = spy_.log;
  ComObject& lastEngine_ = spy_.made;  // the real engine behind the spy
};

TEST_F(RegexObjectTest, CreateWritesTheOptionsInOrder) {
  RegexObject re;
  ASSERT_TRUE(re.Create("a", "b"));
  EXPECT_EQ(log_, (std::vector<std::string>{"IgnoreCase=-1", "Multiline=-1", "Singleline=-1 failed",
                                            "Global=-1", "Pattern=a", "Execute()"}));
  EXPECT_EQ(VariantToText(ReadProperty(lastEngine_, "IgnoreCase")), "-1");
  EXPECT_EQ(VariantToText(ReadProperty(lastEngine_, "Multiline")), "-1");
  EXPECT_EQ(VariantToText(ReadProperty(lastEngine_, "Global")), "-1");

  log_.clear();
  ASSERT_TRUE(re.Create("a", "b", true, false, false));
  EXPECT_EQ(log_, (std::vector<std::string>{"IgnoreCase=0", "Multiline=0", "Singleline=-1 failed",
                                            "Global=0", "Pattern=a", "Execute()"}));
  EXPECT_EQ(VariantToText(ReadProperty(lastEngine_, "IgnoreCase")), "0");
}

TEST_F(RegexObjectTest, DefaultOptionsMatchAnyCaseEveryLineEveryMatch) {
  RegexObject re;
  ASSERT_TRUE(re.Create("^meta$", "META\nx\nMeta"));
  EXPECT_EQ(re.MatchCount(), 2);
  EXPECT_EQ(re.MatchText(2), "Meta");
  ASSERT_TRUE(re.Create("^meta$", "META\nx\nMeta", true, false, false));
  EXPECT_EQ(re.MatchCount(), 0);
}

TEST(RegexObject, CharsetPattern) {
  struct Row {
    const char* name;
    const char* subject;
    int count;
    const char* charset;
  };
  const Row rows[] = {
      {"quoted", R"(<meta charset="utf-8">)", 1, "utf-8"},
      {"bare", "<meta charset=utf-8>", 1, "utf-8"},
      {"upper-case value as written",
       R"(<meta http-equiv="Content-Type" content="text/html; charset=UTF-8" />)", 1, "UTF-8"},
      {"upper-case tag", "<META CHARSET='gbk'>", 1, "gbk"},
      {"no declaration", "<html><title>x</title>", 0, ""},
      {"charset= on a later line", "<meta\ncharset=\"gbk\">", 0, ""},
      {"a later one-line tag is used instead",
       "<meta name=\"a\"\ncharset=\"gbk\"><meta charset=\"big5\">", 1, "big5"},
      {"two quote characters", R"(<meta charset=""utf-8">)", 0, ""},
      {"name cut at the first other character", "<meta charset=utf-8;x>", 1, "utf-8"},
      {"spans to a later tag on the same line", "<meta a><meta charset=x>", 1, "x"},
  };
  RegexObject re;
  for (const Row& row : rows) {
    EXPECT_TRUE(re.Create(kCharsetPattern, row.subject)) << row.name;
    EXPECT_EQ(re.MatchCount(), row.count) << row.name;
    EXPECT_EQ(re.SubMatchText(1, 1), row.charset) << row.name;
  }
}

TEST(RegexObject, BytePositions) {
  struct Row {
    const char* name;
    TextValue pattern;
    TextValue subject;
    bool caseSensitive;
    int match, group;  // group 0: MatchText
    TextValue text;
    int position;
  };
  const Row rows[] = {
      {"single-byte text", "b", "aab", false, 1, 0, "b", 2},
      {"second of two adjacent one-letter matches", "a", "aa", false, 2, 0, "a", 0},
      {"after a two-byte character", "a", Ansi("中a"), false, 1, 0, "a", 2},
      // FirstIndex 2 starts the byte search on the trail byte of 中, which then
      // pairs with the lead byte of 文, and so on over the "b".
      {"after two two-byte characters the search misses", "b", Ansi("中文b"), false, 1, 0, "b", -2},
      {"after three, it lands on a character boundary", "b", Ansi("中文字b"), false, 1, 0, "b", 6},
      {"a two-byte match", Ansi("文"), Ansi("中文"), false, 1, 0, Ansi("文"), 2},
      {"ignoring case finds an earlier copy", "a", "Aa", false, 2, 0, "a", 0},
      {"case-sensitive", "a", "Aa", true, 1, 0, "a", 1},
      {"a group is searched from its match", "(\\w+)=(\\w+)", "k=k", false, 1, 2, "k", 0},
      {"a later group", "(\\w+)=(\\w+)", "ab=cd", false, 1, 2, "cd", 3},
      {"no such match", "z", "abc", false, 1, 0, "", 0},
      {"no such group", "(a)", "a", false, 1, 3, "", 0},
      {"empty text", "z", "", false, 1, 0, "", -2},
  };
  for (const Row& row : rows) {
    RegexObject re;
    ASSERT_TRUE(re.Create(row.pattern, row.subject, row.caseSensitive)) << row.name;
    int position = 99;
    const TextValue text = row.group == 0 ? re.MatchText(row.match, &position)
                                          : re.SubMatchText(row.match, row.group, &position);
    EXPECT_EQ(text, row.text) << row.name;
    EXPECT_EQ(position, row.position) << row.name;
  }
}

TEST(RegexObject, ASecondCreateReplacesTheFirstSearch) {
  RegexObject re;
  ASSERT_TRUE(re.Create("(\\d)(\\d)?", "1 23 4"));
  ASSERT_EQ(re.MatchCount(), 3);
  ASSERT_TRUE(re.Create("[a-z]+", "xy 12"));
  EXPECT_EQ(re.MatchCount(), 1);
  EXPECT_EQ(re.MatchText(1), "xy");
  EXPECT_EQ(re.MatchText(2), "");
  EXPECT_EQ(re.SubMatchCount(), 0);
  EXPECT_EQ(re.GetPattern(), "[a-z]+");
  EXPECT_EQ(re.Replace("-"), "- 12");
}

TEST(RegexObject, APatternThatDoesNotCompile) {
  RegexObject re;
  ASSERT_TRUE(re.Create("a", "a"));
  EXPECT_FALSE(re.Create("(a", "a"));
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.MatchText(1), "");
  EXPECT_EQ(re.SubMatchText(1, 1), "");
  EXPECT_EQ(re.SubMatchCount(), 0);
  EXPECT_EQ(re.Replace("x"), "");
  // The engine is there; only its search failed.
  EXPECT_EQ(re.GetPattern(), "(a");
}

TEST(RegexObject, BeforeCreateEverythingIsEmpty) {
  RegexObject re;
  re.NoOp();
  EXPECT_EQ(re.GetPattern(), "");
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.SubMatchCount(), 0);
  EXPECT_EQ(re.Replace("x"), "");
  int position = 99;
  EXPECT_EQ(re.MatchText(1, &position), "");
  EXPECT_EQ(position, 0) << "the searched text is still the integer 0, read as \"0\"";
}

TEST(RegexObject, WithoutTheEngineComponentNothingRuns) {
  const ComponentFactory original = RegisterComponent("VBScript.RegExp", nullptr);
  {
    RegexObject re;
    EXPECT_FALSE(re.Create("a", "a"));
    EXPECT_EQ(re.GetPattern(), "");
    EXPECT_EQ(re.MatchCount(), 0);
    EXPECT_EQ(re.MatchText(1), "");
    EXPECT_EQ(re.Replace("b"), "");
  }
  RegisterComponent("VBScript.RegExp", original);
}

TEST(RegexObject, Replace) {
  RegexObject re;
  ASSERT_TRUE(re.Create("(\\d+)", "a1b22"));
  EXPECT_EQ(re.Replace("<$1>"), "a<1>b<22>");
  EXPECT_EQ(re.Replace("$&$&"), "a11b2222");
  EXPECT_EQ(re.Replace("$$"), "a$b$");
  EXPECT_EQ(re.Replace(), "ab");
  ASSERT_TRUE(re.Create("(\\d+)", "a1b22", false, true, false));
  EXPECT_EQ(re.Replace("<$1>"), "a<1>b22");
}

TEST(RegexObject, EmptyMatchesInAGlobalSearchEnd) {
  RegexObject re;
  ASSERT_TRUE(re.Create("x*", Ansi("a中")));
  EXPECT_EQ(re.MatchCount(), 3);
  EXPECT_EQ(re.Replace("-"), Ansi("-a-中-"));
}

TEST(RegexObject, QuoteMarker) {
  const TextValue pattern = Ansi("<a href=#引号(\\w+)#引号>");
  RegexObject re;
  ASSERT_TRUE(
      re.Create(pattern, R"(<a href="x">)", std::nullopt, std::nullopt, std::nullopt, true));
  EXPECT_EQ(re.SubMatchText(1, 1), "x");
  EXPECT_EQ(re.GetPattern(), R"x(<a href="(\w+)">)x");
  ASSERT_TRUE(re.Create(pattern, R"(<a href="x">)"));
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.GetPattern(), pattern);
}

TEST(RegexObject, SubMatchCount) {
  RegexObject re;
  ASSERT_TRUE(re.Create("(a)(b)?", "a"));
  EXPECT_EQ(re.SubMatchCount(), 2);
  ASSERT_TRUE(re.Create("(a)(b)?", "x"));
  EXPECT_EQ(re.SubMatchCount(), 0);
}

TEST(RegexObject, EachInstanceHoldsOneComInitialisation) {
  const int base = ComInitializationCount();
  {
    RegexObject re;
    EXPECT_EQ(ComInitializationCount(), base + 1);
    ASSERT_TRUE(re.Create("a", "a"));
    const auto clone = re.Clone();
    EXPECT_EQ(ComInitializationCount(), base + 2);
  }
  EXPECT_EQ(ComInitializationCount(), base);
}

TEST(RegexObject, CloneSharesTheSearchAndOutlivesTheSource) {
  auto source = std::make_unique<RegexObject>();
  ASSERT_TRUE(source->Create("(\\w)(\\d)", "a1 b2"));
  const auto clone = source->Clone();
  ASSERT_TRUE(source->Create("z", "a1 b2"));
  EXPECT_EQ(source->MatchCount(), 0);
  source.reset();
  EXPECT_EQ(clone->MatchCount(), 2);
  int position = 99;
  EXPECT_EQ(clone->SubMatchText(2, 2, &position), "2");
  EXPECT_EQ(position, 4);
  EXPECT_EQ(clone->GetPattern(), "(\\w)(\\d)");
  EXPECT_EQ(clone->Replace("$2$1"), "1a 2b");
}

}  // namespace
}  // namespace velinor
