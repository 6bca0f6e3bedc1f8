#include "web/cookie_merge.h"

#include <gtest/gtest.h>

#include "tests/web/case_name.h"

namespace velinor {
namespace {

struct MergeCase {
  const char* name;
  TextValue sent;
  TextValue returned;
  TextValue merged;
};

void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.name; }

class MergeCookiesTest : public testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookiesTest, MergesAndLeavesTheResultInTheFirstArgument) {
  MergeCase c = GetParam();
  const TextValue merged = MergeCookies(c.sent, c.returned);
  EXPECT_EQ(merged, c.merged);
  EXPECT_EQ(c.sent, c.merged);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeCookiesTest,
    testing::Values(MergeCase{"ReturnedWinsByName", "a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
                    MergeCase{"DeletedDropsTheName", "a=1; b=2", "b=deleted", "a=1"},
                    MergeCase{"DeletedEntryDroppedOtherOfSameNameKept", "a=1", "a=deleted; a=5",
                              "a=5"},
                    MergeCase{"SpacesInsideValuesRemoved", "x=hello world", "", "x=helloworld"},
                    MergeCase{"FullWidthSpaceRemoved", "x=hello\xA1\xA1world", "", "x=helloworld"},
                    MergeCase{"FirstSentOfOneNameTaken", "a=1; a=2", "", "a=1"},
                    MergeCase{"ReturnedOfOneNameBothKept", "", "a=1; a=2", "a=1; a=2"},
                    MergeCase{"ExactRepeatsCollapse", "", "a=1; a=1", "a=1"},
                    MergeCase{"NamesAreCaseSensitive", "A=1", "a=2", "a=2; A=1"},
                    MergeCase{"EmptyEntrySurvivesOnce", "a=1;;b=2", "", "a=1; ; b=2"},
                    MergeCase{"TrailingSemicolonGivesNoEntry", "a=1;", "", "a=1"},
                    MergeCase{"BothEmpty", "", "", ""},
                    MergeCase{"BareDeletedDropped", "=deleted; b=1", "", "b=1"},
                    MergeCase{"DeletedIsCaseSensitive", "a=DELETED", "", "a=DELETED"},
                    MergeCase{"BareWordIsItsOwnName", "flag; a=1", "flag", "flag; a=1"}),
    test::CaseName());

TEST(MergeCookiesTest, RewritesTheReturnedArgumentWithoutSpaces) {
  TextValue sent = "a=1";
  TextValue returned = "b = 2 ; c=3";
  MergeCookies(sent, returned);
  EXPECT_EQ(returned, "b=2;c=3");
}

TEST(CookieNameTest, TextBeforeTheFirstEqualsTrimmed) {
  EXPECT_EQ(CookieName(" sid =a=b"), "sid");
  EXPECT_EQ(CookieName("  bare  "), "bare");
  EXPECT_EQ(CookieName("=v"), "");
  EXPECT_EQ(CookieName(""), "");
}

TEST(ListHelpersTest, FindInListAndHasCookieName) {
  const TextArray list = {"a=1", "", "B=2"};
  EXPECT_EQ(FindInList(list, "a=1"), 1);
  EXPECT_EQ(FindInList(list, ""), 2);
  EXPECT_EQ(FindInList(list, "b=2"), -1);
  EXPECT_EQ(FindInList({}, "x"), -1);
  EXPECT_TRUE(HasCookieName(list, "B"));
  EXPECT_FALSE(HasCookieName(list, "b"));
  EXPECT_TRUE(HasCookieName(list, ""));
}

struct SplitCase {
  const char* name;
  TextValue text;
  TextArray pieces;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitCharsTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCharsTest, ReplacesTheListWithTheCharacters) {
  TextArray list = {"left", "over"};
  EXPECT_EQ(SplitChars(GetParam().text, list, 1), static_cast<int>(GetParam().pieces.size()));
  EXPECT_EQ(list, GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCharsTest,
    testing::Values(SplitCase{"Empty", "", {}},
                    SplitCase{"CrLfIsOneCharacter", "a\r\nb", {"a", "\r\n", "b"}},
                    SplitCase{"LoneCrStandsAlone", "a\rb", {"a", "\r", "b"}},
                    SplitCase{"TwoByteCharacter", "x\xB0\xA1y", {"x", "\xB0\xA1", "y"}},
                    SplitCase{"FinalLeadByteAlone", "a\xB0", {"a", "\xB0"}},
                    SplitCase{"Byte80StandsAlone",
                              "\x80"
                              "a",
                              {"\x80", "a"}}),
    test::CaseName());

TEST(JoinDistinctTest, CharacterAndDelimiterModes) {
  EXPECT_EQ(JoinDistinct("abca", ",", false), "a,b,c");
  EXPECT_EQ(JoinDistinct("x; y; x", "; ", true), "x; y");
  EXPECT_EQ(JoinDistinct("\xB0\xA1z\xB0\xA1", "-", false), "\xB0\xA1-z");
  EXPECT_EQ(JoinDistinct("", "; ", true), "");
}

}  // namespace
}  // namespace velinor
