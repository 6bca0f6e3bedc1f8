#include "text/regexp_component.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace velinor {
namespace {

class RegExpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    ASSERT_TRUE(CreateObject(re_, "VBScript.RegExp"));
  }
  void TearDown() override {
    ClearObject(re_);
    CoUninitialize();
  }

  void Configure(std::string_view pattern, bool ignoreCase, bool multiline, bool global) {
    ASSERT_TRUE(WriteProperty(re_, "Pattern", pattern));
    ASSERT_TRUE(WriteProperty(re_, "IgnoreCase", ignoreCase));
    ASSERT_TRUE(WriteProperty(re_, "Multiline", multiline));
    ASSERT_TRUE(WriteProperty(re_, "Global", global));
  }

  // The matches of "Execute" as "value@FirstIndex|...", non-ASCII units as
  // \uXXXX; nullopt when "Execute" fails.
  std::optional<std::string> Execute(std::u16string subject) {
    const Variant subjectValue = std::move(subject);
    ComObject matches = CallObjectMethod(re_, "Execute", {subjectValue});
    if (IsEmpty(matches)) return std::nullopt;
    std::string out;
    const int count = static_cast<int>(ReadNumberProperty(matches, "Count"));
    for (int i = 0; i < count; ++i) {
      ComObject match = ReadObjectProperty(matches, "Item", i);
      const Variant value = ReadProperty(match, "Value");
      if (!out.empty()) out += '|';
      out += Printable(std::get<std::u16string>(value));
      out += '@' + std::to_string(static_cast<int>(ReadNumberProperty(match, "FirstIndex")));
      EXPECT_EQ(ReadNumberProperty(match, "Length"),
                static_cast<double>(std::get<std::u16string>(value).size()));
    }
    return out;
  }

  static std::string Printable(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
      if (c >= 0x20 && c < 0x7F) {
        out.push_back(static_cast<char>(c));
      } else {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
        out += buffer;
      }
    }
    return out;
  }

  ComObject re_;
};

TEST_F(RegExpTest, OptionsAndSyntax) {
  struct Row {
    const char* name;
    const char* pattern;
    std::u16string subject;
    bool ignoreCase, multiline, global;
    const char* expected;
  };
  const Row rows[] = {
      {"IgnoreCase folds letters", "abc", u"xABCabc", true, false, true, "ABC@1|abc@4"},
      {"case counts without it", "abc", u"xABCabc", false, false, true, "abc@4"},
      {"Multiline: caret at line starts", "^b", u"a\nb", false, true, true, "b@2"},
      {"caret only at the start without", "^b", u"a\nb", false, false, true, ""},
      {"dollar only at the very end without", "a$", u"a\n", false, false, true, ""},
      {"Multiline: dollar before a newline", "a$", u"a\nb", false, true, true, "a@0"},
      {"dot stops at LF only", ".+", u"a\rb\nc", false, false, true, "a\\u000Db@0|c@4"},
      {"\\w is ASCII only", "\\w+", u"é中ab_1", false, false, true, "ab_1@2"},
      {"first match only without Global", "\\d", u"a1b2", false, false, false, "1@1"},
      {"FirstIndex counts UTF-16 units", "b", u"😀中b", false, false, true, "b@3"},
      {"lazy quantifier", "<.+?>", u"<a><b>", false, false, true, "<a>@0|<b>@3"},
      {"\\u escapes", "\\u4E2D", u"x中", false, false, true, "\\u4E2D@1"},
      {"empty class matches nothing", "a[]", u"a", false, false, true, ""},
      {"negated empty class matches a newline", "[^]", u"\n", false, false, true, "\\u000A@0"},
      {"reference to an unset group is empty", "(a)?\\1b", u"b", false, false, true, "b@0"},
      {"empty matches move on", "x*", u"abc", false, false, true, "@0|@1|@2|@3"},
      {"a non-empty match where an empty one was", "a*", u"baaa", false, false, true,
       "@0|aaa@1|@4"},
      {"empty matches never split a surrogate pair", "x*", u"😀", false, false, true, "@0|@2"},
      {"empty pattern", "", u"ab", false, false, true, "@0|@1|@2"},
      {"lone surrogates do not stop the search", "a",
       u"\xD800"
       u"a\xDC00"
       u"a",
       false, false, true, "a@1|a@3"},
  };
  for (const Row& row : rows) {
    Configure(row.pattern, row.ignoreCase, row.multiline, row.global);
    EXPECT_EQ(Execute(row.subject), std::optional<std::string>(row.expected)) << row.name;
  }
}

TEST_F(RegExpTest, ChangedOptionsTakeEffectOnTheNextSearch) {
  Configure("a", false, false, true);
  EXPECT_EQ(Execute(u"A"), "");
  ASSERT_TRUE(WriteProperty(re_, "IgnoreCase", true));
  EXPECT_EQ(Execute(u"A"), "A@0");
  ASSERT_TRUE(WriteProperty(re_, "Pattern", "b"));
  EXPECT_EQ(Execute(u"AB"), "B@1");
}

TEST_F(RegExpTest, APatternThatDoesNotCompileFailsEverySearchUntilItChanges) {
  Configure("(a", false, false, true);
  EXPECT_EQ(Execute(u"a"), std::nullopt);
  EXPECT_EQ(CallTextMethod(re_, "Replace", {"a", "b"}), "");
  EXPECT_FALSE(AutomationSucceeded());
  ASSERT_TRUE(WriteProperty(re_, "Multiline", true));
  EXPECT_EQ(Execute(u"a"), std::nullopt);
  EXPECT_EQ(ReadTextProperty(re_, "Pattern"), "(a");
  ASSERT_TRUE(WriteProperty(re_, "Pattern", "(a)"));
  EXPECT_EQ(Execute(u"a"), "a@0");
}

TEST_F(RegExpTest, SubMatchesGiveEmptyForAGroupThatDidNotTakePart) {
  Configure("(a)|(b)", false, false, true);
  ComObject matches = CallObjectMethod(re_, "Execute", {"b"});
  ComObject subs = ReadObjectProperty(ReadObjectProperty(matches, "Item", 0), "SubMatches");
  EXPECT_EQ(ReadNumberProperty(subs, "Count"), 2);
  const Variant first = ReadProperty(subs, "Item", 0);
  EXPECT_TRUE(AutomationSucceeded());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(first));
  EXPECT_EQ(VariantToText(ReadProperty(subs, "Item", 1)), "b");
  ReadProperty(subs, "Item", 2);
  EXPECT_FALSE(AutomationSucceeded());
  ReadProperty(matches, "Item", -1);
  EXPECT_FALSE(AutomationSucceeded());
}

TEST_F(RegExpTest, TestReportsWhetherAnythingMatches) {
  Configure("b", false, false, false);
  EXPECT_EQ(CallTextMethod(re_, "Test", {"abc"}), "-1");
  EXPECT_EQ(CallTextMethod(re_, "Test", {"xyz"}), "0");
}

TEST_F(RegExpTest, ReplaceExpandsSubstitutions) {
  struct Row {
    const char* name;
    const char* pattern;
    const char* subject;
    const char* replacement;
    bool global;
    const char* expected;
  };
  const Row rows[] = {
      {"groups by number", "(\\w+)@(\\w+)", "me@host", "$2 at $1", true, "host at me"},
      {"whole match, every one", "o", "foo", "[$&]", true, "f[o][o]"},
      {"whole match, first only", "o", "foo", "[$&]", false, "f[o]o"},
      {"before and after", "b", "abc", "$`|$'", true, "aa|cc"},
      {"dollar sign", "b", "abc", "$$", true, "a$c"},
      {"$0 stays", "b", "abc", "$0", true, "a$0c"},
      {"a group the pattern lacks stays", "(b)", "abc", "$2", true, "a$2c"},
      {"one digit when two name no group", "(b)", "abc", "$12", true, "ab2c"},
      {"two-digit group", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij", "$10$1", true, "ja"},
      {"group that did not take part", "(a)|(b)", "b", "<$1>", true, "<>"},
      {"lone dollar at the end", "b", "abc", "x$", true, "ax$c"},
      {"other characters after a dollar", "b", "abc", "$x", true, "a$xc"},
      {"empty matches", "x*", "ab", "-", true, "-a-b-"},
      {"nothing matches", "z", "abc", "-", true, "abc"},
      {"two-byte text", "b",
       "\xD6\xD0"
       "b\xCE\xC4",
       "\xB0\xA1", true, "\xD6\xD0\xB0\xA1\xCE\xC4"},
  };
  for (const Row& row : rows) {
    Configure(row.pattern, false, false, row.global);
    EXPECT_EQ(CallTextMethod(re_, "Replace", {row.subject, row.replacement}), row.expected)
        << row.name;
  }
}

}  // namespace
}  // namespace velinor
