// What WebRequest makes of the answer: result, raw headers, status, cookies,
// redirect address, bytes, and the redirects it follows or refuses.
#include <gtest/gtest.h>

#include "tests/web/case_name.h"
#include "tests/web/web_test_support.h"
#include "web/web_request.h"

namespace velinor::webtest {
namespace {

using namespace std::string_literals;

constexpr char kUntouched[] = "untouched";

struct Outputs {
  TextValue headers = kUntouched;
  TextValue status = kUntouched;
  TextValue cookies = kUntouched;
  TextValue location = kUntouched;
  ByteBuffer bytes = Bytes(kUntouched);
  TextValue result;

  void Fetch(std::string_view url, WebRequestOptions options = {}) {
    options.returnedHeaders = &headers;
    options.statusText = &status;
    options.returnedCookies = &cookies;
    options.redirectAddress = &location;
    options.responseBytes = &bytes;
    result = WebRequest(url, options);
  }
};

struct ResponseCase {
  const char* name;
  std::string raw;  // sent verbatim, then the connection closes
  std::string headers;
  std::string status;
  std::string body;  // as received
  std::string result;
};

void PrintTo(const ResponseCase& c, std::ostream* os) { *os << c.name; }

class ResponseTest : public WebTest, public testing::WithParamInterface<ResponseCase> {};

TEST_P(ResponseTest, DeliversHeadersStatusBytesAndText) {
  const ResponseCase& c = GetParam();
  test::TestServer server;
  server.Canned("/r", c.raw);
  Outputs out;
  int events = 0;
  {
    EventCounter counter;
    out.Fetch(server.Url("/r"));
    events = counter.count();
  }
  EXPECT_EQ(out.headers, c.headers);
  EXPECT_EQ(out.status, c.status);
  EXPECT_EQ(out.bytes, Bytes(c.body));
  EXPECT_EQ(out.result, c.result);
  EXPECT_EQ(out.cookies, "");
  EXPECT_EQ(out.location, kUntouched);
  EXPECT_EQ(events, CompleteExchangeEvents(out.headers, out.bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResponseTest,
    testing::Values(
        ResponseCase{
            "ZeroByteEndsTheText", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: b\r\n\r\nab\0cd"s,
            "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: b\r\n\r\n", "200 OK", "ab\0cd"s, "ab"},
        ResponseCase{"BareLineFeedsBecomeCrLf", "HTTP/1.1 200 OK\nX-A: b\n\nclose-delimited",
                     "HTTP/1.1 200 OK\r\nX-A: b\r\n\r\n", "200 OK", "close-delimited",
                     "close-delimited"},
        ResponseCase{
            "InformationalAnswerIsNotTheFinalOne",
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok",
            "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\n", "201 Created", "ok", "ok"},
        ResponseCase{"ChunkedWithTrailerKeepsTheTrailerOut",
                     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     "3\r\nabc\r\n2\r\nde\r\n0\r\nX-Trailer: t\r\n\r\n",
                     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "200 OK", "abcde",
                     "abcde"},
        ResponseCase{"NoContent", "HTTP/1.1 204 No Content\r\n\r\n",
                     "HTTP/1.1 204 No Content\r\n\r\n", "204 No Content", "", ""},
        ResponseCase{"ErrorStatusIsData", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone",
                     "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\n", "404 Not Found", "gone",
                     "gone"},
        ResponseCase{
            "ContentCodingNotDecoded",
            "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\n\r\n\x1f\x8b"
            "ab",
            "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 4\r\n\r\n", "200 OK",
            "\x1f\x8b"
            "ab",
            "\x1f\x8b"
            "ab"},
        ResponseCase{
            "HeaderBytesKeptAsSent",
            "HTTP/1.1 200 \xB3\xC9\xB9\xA6\r\nX-Name: \xD2\xF4\r\nContent-Length: 0\r\n\r\n",
            "HTTP/1.1 200 \xB3\xC9\xB9\xA6\r\nX-Name: \xD2\xF4\r\nContent-Length: 0\r\n\r\n",
            "200 \xB3\xC9\xB9\xA6", "", ""}),
    test::CaseName());

TEST_F(WebTest, TextOfALargeBodyEndsAtAZeroByteInALaterChunk) {
  test::TestServer server;
  std::string body(3 * 1024 * 1024, 'a');
  body[700'000] = '\0';
  body[2'000'000] = '\0';
  server.Respond("/big", 200, body);
  Outputs out;
  out.Fetch(server.Url("/big"));
  EXPECT_EQ(out.result.size(), 700'000u);
  EXPECT_EQ(out.result, body.substr(0, 700'000));
  EXPECT_EQ(out.bytes, Bytes(body));
}

TEST_F(WebTest, HeadAnswerHasNoBody) {
  test::TestServer server;
  server.Respond("/", 200, "not sent for HEAD");
  Outputs out;
  out.Fetch(server.Origin(), {.method = 2});
  EXPECT_EQ(out.status, "200 OK");
  EXPECT_EQ(out.result, "");
  EXPECT_TRUE(out.bytes.empty());
}

TEST_F(WebTest, TrustedTlsServerAnswers) {
  test::TestServer server({.tls = true});
  server.Respond("/s", 200, "secure");
  Outputs out;
  out.Fetch(server.Url("/s"));
  EXPECT_EQ(out.result, "secure");
  EXPECT_EQ(out.status, "200 OK");
}

TEST_F(WebTest, CookiesOfTheResponseAreCollectedAndMerged) {
  test::TestServer server;
  server.Respond("/c", 200, "", {{"Set-Cookie", "sid=1; path=/"}, {"Set-Cookie", "lang=cn"}});
  Outputs plain;
  plain.Fetch(server.Url("/c"));
  EXPECT_EQ(plain.cookies, "sid=1; lang=cn");

  TextValue jar = "a=1; sid=0";
  Outputs merged;
  merged.Fetch(server.Url("/c"), {.sendCookies = &jar});
  EXPECT_EQ(merged.cookies, "sid=1; lang=cn; a=1");
  EXPECT_EQ(jar, "sid=1; lang=cn; a=1");
  EXPECT_EQ(server.LastRequest().Header("Cookie"), "a=1; sid=0");

  TextValue kept = "a=1";
  Outputs unmerged;
  unmerged.Fetch(server.Url("/c"), {.sendCookies = &kept, .autoMergeCookies = false});
  EXPECT_EQ(unmerged.cookies, "sid=1; lang=cn");
  EXPECT_EQ(kept, "a=1");
}

TEST_F(WebTest, RedirectsAreFollowedToTheFinalResponse) {
  test::TestServer server;
  server.Redirect("/r", "/middle", 301);
  server.Redirect("/middle", server.Url("/final"), 302);
  server.Respond("/final", 200, "done", {{"Set-Cookie", "f=1"}});
  Outputs out;
  out.Fetch(server.Url("/r"));
  EXPECT_EQ(out.result, "done");
  EXPECT_EQ(out.status, "200 OK");
  EXPECT_EQ(out.cookies, "f=1");
  EXPECT_EQ(out.location, kUntouched);
  EXPECT_EQ(out.headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(server.RequestCount(), 3u);
}

TEST_F(WebTest, NoRedirectDeliversTheRedirectItself) {
  test::TestServer server;
  server.Respond("/r", 302, "moved", {{"Location", "/final"}});
  server.Respond("/final", 200, "done");
  Outputs out;
  out.Fetch(server.Url("/r"), {.noRedirect = true});
  EXPECT_EQ(out.result, "moved");
  EXPECT_EQ(out.status, "302 Found");
  EXPECT_EQ(out.location, "/final");
  EXPECT_EQ(server.RequestCount(), 1u);
}

struct RedirectMethodCase {
  const char* name;
  int status;
  std::string method;  // of the second request
  std::string body;    // of the second request
};

void PrintTo(const RedirectMethodCase& c, std::ostream* os) { *os << c.name; }

class RedirectMethodTest : public WebTest,
                           public testing::WithParamInterface<RedirectMethodCase> {};

TEST_P(RedirectMethodTest, PostBecomesGetOnlyOnSeeOtherAndFriends) {
  const RedirectMethodCase& c = GetParam();
  test::TestServer server;
  server.Redirect("/r", "/final", c.status);
  server.Respond("/final", 200, "done");
  Outputs out;
  out.Fetch(server.Url("/r"), {.method = 1, .postData = "a=1"});
  EXPECT_EQ(out.result, "done");
  ASSERT_EQ(server.RequestCount(), 2u);
  const test::ReceivedRequest second = server.Requests()[1];
  EXPECT_EQ(second.method, c.method);
  EXPECT_EQ(second.body, c.body);
}

INSTANTIATE_TEST_SUITE_P(Cases, RedirectMethodTest,
                         testing::Values(RedirectMethodCase{"MovedPermanently", 301, "GET", ""},
                                         RedirectMethodCase{"Found", 302, "GET", ""},
                                         RedirectMethodCase{"SeeOther", 303, "GET", ""},
                                         RedirectMethodCase{"Temporary", 307, "POST", "a=1"},
                                         RedirectMethodCase{"Permanent", 308, "POST", "a=1"}),
                         test::CaseName());

TEST_F(WebTest, RedirectLoopStopsOnTheLastRedirect) {
  test::TestServer server;
  server.Redirect("/loop", "/loop");
  Outputs out;
  out.Fetch(server.Url("/loop"));
  EXPECT_EQ(out.status, "302 Found");
  EXPECT_EQ(out.location, "/loop");
  EXPECT_EQ(out.result, "");
  EXPECT_EQ(server.RequestCount(), 11u);  // the first request and ten redirects
}

TEST_F(WebTest, HttpsNeverRedirectsToHttp) {
  test::TestServer plain;
  test::TestServer secure({.tls = true});
  plain.Respond("/final", 200, "downgraded");
  secure.Redirect("/r", plain.Url("/final"));
  Outputs out;
  out.Fetch(secure.Url("/r"));
  EXPECT_EQ(out.status, "302 Found");
  EXPECT_EQ(out.location, plain.Url("/final"));
  EXPECT_EQ(out.result, "");
  EXPECT_EQ(plain.ConnectionCount(), 0u);
}

TEST_F(WebTest, HttpToHttpsToHttpStopsAtTheSecondRedirect) {
  test::TestServer plain;
  test::TestServer secure({.tls = true});
  plain.Redirect("/a", secure.Url("/b"));
  secure.Redirect("/b", plain.Url("/final"));
  plain.Respond("/final", 200, "downgraded");
  Outputs out;
  out.Fetch(plain.Url("/a"));
  EXPECT_EQ(out.status, "302 Found");
  EXPECT_EQ(out.location, plain.Url("/final"));
  EXPECT_EQ(secure.RequestCount(), 1u);
  EXPECT_EQ(plain.RequestCount(), 1u);
}

TEST_F(WebTest, CookiesFollowRedirectsOnlyWhenSendCookiesIsGiven) {
  test::TestServer server;
  server.Respond("/set", 302, "", {{"Set-Cookie", "s=1"}, {"Location", "/check"}});
  server.Respond("/check", 200, "checked");

  TextValue jar;
  Outputs with;
  with.Fetch(server.Url("/set"), {.sendCookies = &jar});
  EXPECT_EQ(server.LastRequest().Header("Cookie"), "s=1");

  server.ClearRequests();
  Outputs without;
  without.Fetch(server.Url("/set"));
  EXPECT_EQ(without.result, "checked");
  EXPECT_FALSE(server.LastRequest().HasHeader("Cookie"));
}

TEST_F(WebTest, CredentialsStayWithTheirHost) {
  test::TestServer first;
  test::TestServer second;
  first.Redirect("/r", second.Url("/elsewhere"));
  second.Respond("/elsewhere", 200, "ok");
  Outputs out;
  out.Fetch(first.Url("/r"), {.userName = "u", .password = "p"});
  EXPECT_EQ(out.result, "ok");
  EXPECT_TRUE(first.LastRequest().HasHeader("Authorization"));
  EXPECT_FALSE(second.LastRequest().HasHeader("Authorization"));
}

TEST_F(WebTest, NestedRequestFromProcessEventsIsIndependent) {
  test::TestServer server;
  server.Respond("/outer", 200, "outer", {{"Set-Cookie", "o=1"}});
  server.Respond("/inner", 404, "inner");
  Outputs inner;
  bool nested = false;
  auto previous = SetProcessEventsHook([&] {
    if (nested) return;
    nested = true;
    inner.Fetch(server.Url("/inner"));
  });
  Outputs outer;
  outer.Fetch(server.Url("/outer"));
  SetProcessEventsHook(previous);
  EXPECT_EQ(inner.result, "inner");
  EXPECT_EQ(inner.status, "404 Not Found");
  EXPECT_EQ(outer.result, "outer");
  EXPECT_EQ(outer.status, "200 OK");
  EXPECT_EQ(outer.cookies, "o=1");
}

}  // namespace
}  // namespace velinor::webtest
