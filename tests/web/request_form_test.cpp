// What reaches the server: request line, object name, header block, body,
// credentials and the proxy's request form.
#include <gtest/gtest.h>

#include <optional>

#include "tests/web/case_name.h"
#include "tests/web/web_test_support.h"
#include "web/web_request.h"

namespace velinor::webtest {
namespace {

struct FormCase {
  const char* name;
  int method;
  std::string path;  // appended to the server's origin
  std::string extraHeaders;
  std::string body;
  std::optional<TextValue> sendCookies;
  std::string requestLine;
  std::vector<std::string> lines;  // without Host and Content-Length
};

void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::string> With(std::vector<std::string> first, std::vector<std::string> rest) {
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

const std::vector<std::string> kPostLines = {kUserAgent,      kAccept,          kAcceptEncoding,
                                             kAcceptLanguage, kFormContentType, kCacheControl};

class RequestFormTest : public WebTest, public testing::WithParamInterface<FormCase> {};

TEST_P(RequestFormTest, SendsTheRequestLineHeaderBlockAndBody) {
  const FormCase& c = GetParam();
  test::TestServer server;
  server.CatchAll([](const test::ReceivedRequest& request, test::Connection& connection) {
    test::SendResponse(request, connection, 200, "ok");
  });
  std::optional<TextValue> cookies = c.sendCookies;
  TextValue status;
  WebRequest(server.Origin() + c.path, {.method = c.method,
                                        .postData = c.body,
                                        .sendCookies = cookies ? &*cookies : nullptr,
                                        .extraHeaders = c.extraHeaders,
                                        .statusText = &status});
  ASSERT_EQ(status, "200 OK");
  ASSERT_EQ(server.RequestCount(), 1u);
  const test::ReceivedRequest request = server.LastRequest();
  EXPECT_EQ(RequestLine(request), c.requestLine);
  EXPECT_EQ(HeaderLines(request), c.lines);

  // A body goes with every method but HEAD; POST and PUT announce even an
  // empty one. libcurl adds nothing else of its own: no Expect, no Accept.
  const bool bodySent = c.method != 2 && (!c.body.empty() || c.method == 1 || c.method == 3);
  EXPECT_EQ(request.Header("Content-Length"), bodySent ? std::to_string(c.body.size()) : "");
  EXPECT_EQ(request.body, bodySent ? c.body : "");
  EXPECT_EQ(request.Header("Host"), server.HostPort());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestFormTest,
    testing::Values(
        FormCase{"DefaultGet", 0, "", "", "", {}, "GET / HTTP/1.1", kDefaultLines},
        FormCase{"PathAndQueryAsWritten",
                 0,
                 "/a/b?x=1&y=%41+b",
                 "",
                 "",
                 {},
                 "GET /a/b?x=1&y=%41+b HTTP/1.1",
                 kDefaultLines},
        FormCase{"EmptyPathDropsTheQuery", 0, "?x=1", "", "", {}, "GET / HTTP/1.1", kDefaultLines},
        FormCase{"DotSegmentsKept",
                 0,
                 "/a/../b/./c",
                 "",
                 "",
                 {},
                 "GET /a/../b/./c HTTP/1.1",
                 kDefaultLines},
        FormCase{"FragmentNeverSent",
                 0,
                 "/p?q=1#frag",
                 "",
                 "",
                 {},
                 "GET /p?q=1 HTTP/1.1",
                 kDefaultLines},
        FormCase{"NonAsciiAsPercentEncodedUtf8",
                 0,
                 "/\xD2\xF4?k=\xD2\xF4",
                 "",
                 "",
                 {},
                 "GET /%E9%9F%B3?k=%E9%9F%B3 HTTP/1.1",
                 kDefaultLines},
        FormCase{"Post", 1, "/form", "", "a=1&b=2", {}, "POST /form HTTP/1.1", kPostLines},
        FormCase{"PostWithoutBody", 1, "", "", "", {}, "POST / HTTP/1.1", kPostLines},
        FormCase{
            "PostBodyBytesAsTheyAre", 1, "", "", "k=\xD6\xD0", {}, "POST / HTTP/1.1", kPostLines},
        FormCase{"MethodOutsideTableIsGet", 8, "", "", "", {}, "GET / HTTP/1.1", kDefaultLines},
        FormCase{"NegativeMethodIsGet", -1, "", "", "", {}, "GET / HTTP/1.1", kDefaultLines},
        FormCase{"GetSendsItsBodyWithoutContentType",
                 0,
                 "",
                 "",
                 "xyz",
                 {},
                 "GET / HTTP/1.1",
                 kDefaultLines},
        FormCase{"Put", 3, "/r", "", "payload", {}, "PUT /r HTTP/1.1", kDefaultLines},
        FormCase{"HeadCarriesNoBody", 2, "", "", "ignored", {}, "HEAD / HTTP/1.1", kDefaultLines},
        FormCase{"Options", 4, "", "", "", {}, "OPTIONS / HTTP/1.1", kDefaultLines},
        FormCase{"DeleteWithBody", 5, "/x", "", "d", {}, "DELETE /x HTTP/1.1", kDefaultLines},
        FormCase{"Trace", 6, "", "", "", {}, "TRACE / HTTP/1.1", kDefaultLines},
        FormCase{"LowerCaseUserAgentReplacesTheDefault",
                 0,
                 "",
                 "user-agent: mine",
                 "",
                 {},
                 "GET / HTTP/1.1",
                 {"user-agent: mine", kAccept, kAcceptEncoding, kAcceptLanguage, kCacheControl}},
        FormCase{"PostLowerCaseContentTypeRenamed",
                 1,
                 "",
                 "content-type: text/plain",
                 "a",
                 {},
                 "POST / HTTP/1.1",
                 With({"Content-Type: text/plain"}, kDefaultLines)},
        FormCase{"PostContentTypeKept",
                 1,
                 "",
                 "Content-Type: text/xml",
                 "a",
                 {},
                 "POST / HTTP/1.1",
                 With({"Content-Type: text/xml"}, kDefaultLines)},
        FormCase{"PostMixedCaseContentTypeGetsTheDefaultToo",
                 1,
                 "",
                 "Content-type: a/b",
                 "a",
                 {},
                 "POST / HTTP/1.1",
                 With({"Content-type: a/b"}, kPostLines)},
        FormCase{"GetLeavesCallerContentTypeAlone",
                 0,
                 "",
                 "content-type: x/y",
                 "",
                 {},
                 "GET / HTTP/1.1",
                 With({"content-type: x/y"}, kDefaultLines)},
        FormCase{"SendCookiesBecomeACookieLine", 0, "", "", "", TextValue("a=1; b=2"),
                 "GET / HTTP/1.1", With(kDefaultLines, {"Cookie: a=1; b=2"})},
        FormCase{"CallerCookieLineKeepsSendCookiesOut", 0, "", "Cookie: mine=1", "",
                 TextValue("a=1"), "GET / HTTP/1.1", With({"Cookie: mine=1"}, kDefaultLines)},
        FormCase{"EmptySendCookiesAddNoLine", 0, "", "", "", TextValue(""), "GET / HTTP/1.1",
                 kDefaultLines},
        // The searches look at the whole block, values included.
        FormCase{
            "AcceptInsideAValueSuppressesTheDefault",
            0,
            "",
            "X-Note: Accept: none",
            "",
            {},
            "GET / HTTP/1.1",
            {"X-Note: Accept: none", kUserAgent, kAcceptEncoding, kAcceptLanguage, kCacheControl}},
        FormCase{"CallerLinesKeepOrderAndCase",
                 0,
                 "",
                 "X-B: 2\r\nx-a: 1\r\nACCEPT: a/b",
                 "",
                 {},
                 "GET / HTTP/1.1",
                 {"X-B: 2", "x-a: 1", "ACCEPT: a/b", kUserAgent, kAcceptEncoding, kAcceptLanguage,
                  kCacheControl}},
        FormCase{"EmptyValueLineSent",
                 0,
                 "",
                 "X-Empty:",
                 "",
                 {},
                 "GET / HTTP/1.1",
                 With({"X-Empty:"}, kDefaultLines)},
        FormCase{"TrailingLineBreakInExtraHeaders",
                 0,
                 "",
                 "X-A: 1\r\n",
                 "",
                 {},
                 "GET / HTTP/1.1",
                 With({"X-A: 1"}, kDefaultLines)},
        FormCase{"MatchingContentLengthAccepted",
                 1,
                 "",
                 "Content-Length: 3",
                 "abc",
                 {},
                 "POST / HTTP/1.1",
                 kPostLines}),
    test::CaseName());

TEST_F(WebTest, LargePostBodyGoesWithoutExpectContinue) {
  test::TestServer server;
  server.Respond("/upload", 200, "stored");
  const std::string body(3 * 1024 * 1024, 'x');
  TextValue status;
  const TextValue result =
      WebRequest(server.Url("/upload"), {.method = 1, .postData = body, .statusText = &status});
  EXPECT_EQ(result, "stored");
  EXPECT_EQ(status, "200 OK");
  const test::ReceivedRequest request = server.LastRequest();
  EXPECT_FALSE(request.HasHeader("Expect"));
  EXPECT_EQ(request.body.size(), body.size());
  EXPECT_EQ(request.body, body);
}

TEST_F(WebTest, ServerCredentialsNeedBothParts) {
  test::TestServer server;
  server.Respond("/", 200, "ok");
  // Basic credentials travel as UTF-8, whatever the program's code page.
  WebRequest(server.Origin(), {.userName = "user", .password = Cp936("密码")});
  EXPECT_EQ(server.LastRequest().Header("Authorization"), test::BasicAuthorization("user", "密码"));
  EXPECT_EQ(HeaderLines(server.LastRequest(), {"Host", "Authorization"}), kDefaultLines);

  WebRequest(server.Origin(), {.userName = "user"});
  EXPECT_FALSE(server.LastRequest().HasHeader("Authorization"));
  WebRequest(server.Origin(), {.password = "secret"});
  EXPECT_FALSE(server.LastRequest().HasHeader("Authorization"));
}

TEST_F(WebTest, CredentialsInsideTheAddressAreIgnored) {
  test::TestServer server;
  server.Respond("/x", 200, "ok");
  EXPECT_EQ(WebRequest("http://user:secret@" + server.HostPort() + "/x"), "ok");
  EXPECT_EQ(RequestLine(server.LastRequest()), "GET /x HTTP/1.1");
  EXPECT_FALSE(server.LastRequest().HasHeader("Authorization"));
}

TEST_F(WebTest, HttpGoesThroughTheProxyInAbsoluteForm) {
  test::TestServer origin;
  test::TestServer proxy;
  proxy.CatchAll([](const test::ReceivedRequest& request, test::Connection& connection) {
    test::SendResponse(request, connection, 200, "via proxy");
  });
  TextValue status;
  const TextValue result = WebRequest(origin.Url("/p?q=1"), {.proxy = proxy.HostPort(),
                                                             .proxyUserName = "pu",
                                                             .proxyPassword = "pp",
                                                             .statusText = &status});
  EXPECT_EQ(result, "via proxy");
  EXPECT_EQ(origin.RequestCount(), 0u);
  const test::ReceivedRequest request = proxy.LastRequest();
  EXPECT_EQ(RequestLine(request), "GET " + origin.Url("/p?q=1") + " HTTP/1.1");
  EXPECT_EQ(request.Header("Proxy-Authorization"), test::BasicAuthorization("pu", "pp"));
  EXPECT_EQ(HeaderLines(request, {"Host", "Proxy-Authorization"}), kDefaultLines);

  WebRequest(origin.Url("/p"), {.proxy = proxy.HostPort(), .proxyUserName = "pu"});
  EXPECT_FALSE(proxy.LastRequest().HasHeader("Proxy-Authorization"));
}

TEST_F(WebTest, HttpsGoesThroughTheProxyAsATunnel) {
  test::TestServer origin({.tls = true});
  test::TestServer proxy;  // refuses every CONNECT
  TextValue status;
  TextValue cookies = "secret=1";
  const TextValue result = WebRequest(origin.Url("/s"), {.sendCookies = &cookies,
                                                         .proxy = proxy.HostPort(),
                                                         .proxyUserName = "pu",
                                                         .proxyPassword = "pp",
                                                         .statusText = &status});
  EXPECT_EQ(result, "");
  EXPECT_EQ(status, Cp936("711 发送请求失败!"));
  EXPECT_EQ(origin.RequestCount(), 0u);
  const test::ReceivedRequest request = proxy.LastRequest();
  EXPECT_EQ(RequestLine(request), "CONNECT " + origin.HostPort() + " HTTP/1.1");
  EXPECT_EQ(request.Header("Proxy-Authorization"), test::BasicAuthorization("pu", "pp"));
  // The header block, cookies included, is for the origin only.
  EXPECT_EQ(HeaderLines(request, {"Host", "Proxy-Authorization"}), std::vector<std::string>{});
}

TEST_F(WebTest, NoProxyWhenNoneIsGivenWhateverTheEnvironmentSays) {
  test::TestServer origin;
  test::TestServer proxy;
  origin.Respond("/", 200, "direct");
  ::setenv("http_proxy", ("http://" + proxy.HostPort()).c_str(), 1);
  const TextValue result = WebRequest(origin.Origin());
  ::unsetenv("http_proxy");
  EXPECT_EQ(result, "direct");
  EXPECT_EQ(proxy.RequestCount(), 0u);
}

}  // namespace
}  // namespace velinor::webtest
