#include "web/header_stage.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "tests/web/case_name.h"

namespace velinor {
namespace {

constexpr char kUntouched[] = "untouched";

struct Outputs {
  TextValue headers = kUntouched;
  TextValue status = kUntouched;
  TextValue cookies = kUntouched;
  TextValue location = kUntouched;

  HeaderStageOutputs Pointers() { return {&headers, &status, &cookies, &location}; }
};

// Counts the ProcessEvents calls of one stage run.
int RunCounting(const TextValue& raw, TextValue* sendCookies, bool merge, Outputs& out) {
  int events = 0;
  auto previous = SetProcessEventsHook([&] { ++events; });
  RunHeaderStage(raw, sendCookies, merge, out.Pointers());
  SetProcessEventsHook(previous);
  return events;
}

struct StageCase {
  const char* name;
  TextValue raw;
  TextValue status;
  TextValue cookies;
  std::optional<TextValue> location;  // nullopt: left untouched
  int lines;                          // ProcessEvents calls
};

void PrintTo(const StageCase& c, std::ostream* os) { *os << c.name; }

class HeaderStageTest : public testing::TestWithParam<StageCase> {};

TEST_P(HeaderStageTest, ParsesStatusCookiesAndLocation) {
  const StageCase& c = GetParam();
  Outputs out;
  EXPECT_EQ(RunCounting(c.raw, nullptr, true, out), c.lines);
  EXPECT_EQ(out.headers, c.raw);
  EXPECT_EQ(out.status, c.status);
  EXPECT_EQ(out.cookies, c.cookies);
  EXPECT_EQ(out.location, c.location.value_or(kUntouched));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderStageTest,
    testing::Values(
        StageCase{"StatusWithoutLineBreak", "HTTP/1.1 404 Not Found\r\nServer: t\r\n\r\n",
                  "404 Not Found", "", std::nullopt, 3},
        StageCase{"CodeWithoutReason", "HTTP/1.1 200\r\n\r\n", "200", "", std::nullopt, 2},
        StageCase{"CookiePairsWithAndWithoutAttributes",
                  "HTTP/1.1 200 OK\r\nSet-Cookie: sid=1; path=/\r\nSet-Cookie: lang=cn\r\n\r\n",
                  "200 OK", "sid=1; lang=cn", std::nullopt, 4},
        StageCase{"CookieNameTestIsExactAndNeedsColonSpace",
                  "HTTP/1.1 200 OK\r\nset-cookie: a=1\r\nSet-Cookie:b=2\r\nSET-COOKIE: c=3\r\n\r\n",
                  "200 OK", "", std::nullopt, 5},
        StageCase{"LocationIgnoresCaseAndLastWins",
                  "HTTP/1.1 302 Found\r\nLocation: /first\r\nlocation: /second\r\n\r\n",
                  "302 Found", "", "/second", 4},
        StageCase{"EmptyLocation", "HTTP/1.1 301 Moved\r\nLocation: \r\n\r\n", "301 Moved", "", "",
                  3},
        StageCase{"LocationNeedsItsSpace", "HTTP/1.1 301 Moved\r\nLocation:/x\r\n\r\n", "301 Moved",
                  "", std::nullopt, 3},
        // A status line too short to reach position 10 yields no status, not
        // a piece of the next header line.
        StageCase{"ShortStatusLine", "HTTP/2 2\r\nServer: x\r\n\r\n", "", "", std::nullopt, 3},
        StageCase{"NoLineBreakAtAll", "HTTP/1.1 200 OK", "", "", std::nullopt, 1},
        // The server's bytes arrive as they are: a line ending in an odd run
        // of high bytes (a UTF-8 check mark here) still ends at its CR LF.
        StageCase{"StatusLineEndingInAHighByte",
                  "HTTP/1.1 200 \xE2\x9C\x93\r\nSet-Cookie: c=3\r\n\r\n", "200 \xE2\x9C\x93", "c=3",
                  std::nullopt, 3},
        StageCase{"HeaderLineEndingInAHighByte",
                  "HTTP/1.1 302 Found\r\nLocation: /\xB0\r\nSet-Cookie: b=2\r\n\r\n", "302 Found",
                  "b=2", "/\xB0", 4},
        StageCase{"Empty", "", "", "", std::nullopt, 0}),
    test::CaseName());

constexpr char kCookieResponse[] =
    "HTTP/1.1 200 OK\r\nSet-Cookie: b=3; path=/\r\nSet-Cookie: c=4\r\n\r\n";

TEST(HeaderStageMergeTest, GivenSendCookiesAreMergedIntoBoth) {
  TextValue send = "a=1; b=2";
  Outputs out;
  RunCounting(kCookieResponse, &send, true, out);
  EXPECT_EQ(out.cookies, "b=3; c=4; a=1");
  EXPECT_EQ(send, "b=3; c=4; a=1");
}

TEST(HeaderStageMergeTest, GivenEmptySendCookiesStillMerge) {
  TextValue send;
  Outputs out;
  RunCounting("HTTP/1.1 200 OK\r\nSet-Cookie: x=1 \r\n\r\n", &send, true, out);
  EXPECT_EQ(out.cookies, "x=1");
  EXPECT_EQ(send, "x=1");
}

TEST(HeaderStageMergeTest, NoMergeWhenOffOrNotGiven) {
  TextValue send = "a=1";
  Outputs off;
  RunCounting(kCookieResponse, &send, false, off);
  EXPECT_EQ(off.cookies, "b=3; c=4");
  EXPECT_EQ(send, "a=1");

  Outputs absent;
  RunCounting(kCookieResponse, nullptr, true, absent);
  EXPECT_EQ(absent.cookies, "b=3; c=4");
}

TEST(HeaderStageMergeTest, OneVariableForSendAndReturnedCookies) {
  TextValue cookies = "a=1";
  HeaderStageOutputs outputs;
  outputs.returnedCookies = &cookies;
  RunHeaderStage(kCookieResponse, &cookies, true, outputs);
  EXPECT_EQ(cookies, "b=3; c=4; a=1");
}

TEST(HeaderStageMergeTest, OmittedOutputsAreNotWritten) {
  TextValue send = "a=1";
  RunHeaderStage(kCookieResponse, &send, true, {});
  EXPECT_EQ(send, "b=3; c=4; a=1");
}

}  // namespace
}  // namespace velinor
