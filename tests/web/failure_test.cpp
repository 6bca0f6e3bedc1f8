// Failures and bad input: each has its error text, its path (what is still
// written, how many ProcessEvents calls), and none crashes or sends anything
// it should not.
#include <gtest/gtest.h>

#include "tests/web/case_name.h"
#include "tests/web/web_test_support.h"
#include "web/http_exchange.h"
#include "web/web_request.h"

namespace velinor::webtest {
namespace {

constexpr char kUntouched[] = "untouched";

struct Outcome {
  TextValue result = kUntouched;
  TextValue status = kUntouched;
  TextValue headers = kUntouched;
  TextValue cookies = kUntouched;
  TextValue location = kUntouched;
  ByteBuffer bytes = Bytes(kUntouched);
  int events = 0;

  bool OutputsUntouched() const {
    return headers == kUntouched && cookies == kUntouched && location == kUntouched &&
           bytes == Bytes(kUntouched);
  }
};

Outcome Fetch(std::string_view url, WebRequestOptions options = {}) {
  Outcome out;
  options.statusText = &out.status;
  options.returnedHeaders = &out.headers;
  options.returnedCookies = &out.cookies;
  options.redirectAddress = &out.location;
  options.responseBytes = &out.bytes;
  EventCounter counter;
  out.result = WebRequest(url, options);
  out.events = counter.count();
  return out;
}

// Stages passed before each failure, one ProcessEvents call each.
constexpr int kAfterAddress = 1;
constexpr int kAfterTimeouts = 6;
constexpr int kAfterHeaderBlock = 7;
constexpr int kAfterSend = 8;
constexpr int kAfterReceive = 9;

struct UrlCase {
  const char* name;
  std::string url;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

class BadUrlTest : public WebTest, public testing::WithParamInterface<UrlCase> {};

TEST_P(BadUrlTest, IsRefusedWith701) {
  const Outcome out = Fetch(GetParam().url);
  EXPECT_EQ(out.status, Cp936("701 解析URL地址失败!"));
  EXPECT_EQ(out.result, "");
  EXPECT_TRUE(out.OutputsUntouched());
  EXPECT_EQ(out.events, kAfterAddress);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadUrlTest,
    testing::Values(UrlCase{"Empty", ""}, UrlCase{"OtherScheme", "ftp://127.0.0.1/file"},
                    UrlCase{"NoScheme", "127.0.0.1/page"}, UrlCase{"SchemeOnly", "http://"},
                    UrlCase{"NoHost", "http:///path"}, UrlCase{"OneSlash", "http:/127.0.0.1/"},
                    UrlCase{"PortOutOfRange", "http://127.0.0.1:99999/"},
                    UrlCase{"PortNotANumber", "http://127.0.0.1:80x/"},
                    UrlCase{"SpaceInHost", "http://a b/"},
                    UrlCase{"SpaceInPath", "http://127.0.0.1/a b"},
                    UrlCase{"TabInPath", "http://127.0.0.1/a\tb"},
                    UrlCase{"LineBreakInPath", "http://127.0.0.1/a\r\nX-Injected: 1"},
                    UrlCase{"ControlCharacter", "http://127.0.0.1/\x01"},
                    UrlCase{"DeleteCharacter", "http://127.0.0.1/\x7F"},
                    UrlCase{"Mailto", "mailto:someone@127.0.0.1"}),
    test::CaseName());

TEST_F(WebTest, UppercaseSchemeIsAccepted) {
  test::TestServer server;
  server.Respond("/", 200, "ok");
  EXPECT_EQ(Fetch("HTTP://" + server.HostPort() + "/").result, "ok");
}

TEST_F(WebTest, RefusedConnectionIsAFailedSend) {
  const Outcome out = Fetch("http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/");
  EXPECT_EQ(out.status, Cp936("711 发送请求失败!"));
  EXPECT_EQ(out.result, "");
  EXPECT_TRUE(out.OutputsUntouched());
  EXPECT_EQ(out.events, kAfterHeaderBlock);
}

TEST_F(WebTest, UntrustedCertificateIsAFailedSend) {
  const std::unique_ptr<test::TestServer> server = test::MakeUntrustedTlsServer();
  server->Respond("/", 200, "must not be read");
  const Outcome out = Fetch(server->Url("/"));
  EXPECT_EQ(out.status, Cp936("711 发送请求失败!"));
  EXPECT_EQ(out.result, "");
  EXPECT_TRUE(out.OutputsUntouched());
  EXPECT_EQ(server->RequestCount(), 0u);
}

TEST_F(WebTest, ServerThatNeverAnswersTimesOutWith712) {
  test::TestServer server;
  server.Route("/", [](const test::ReceivedRequest&, test::Connection&) {
    test::SleepFor(std::chrono::seconds(20));
  });
  const Outcome out = Fetch(server.Origin(), {.timeoutSeconds = 1});
  EXPECT_EQ(out.status, Cp936("712 服务器未响应!"));
  EXPECT_EQ(out.result, "");
  EXPECT_TRUE(out.OutputsUntouched());
  EXPECT_EQ(out.events, kAfterSend);
}

TEST_F(WebTest, ZeroOrNegativeTimeoutWaitsLongerThanASecond) {
  test::TestServer server;
  server.Route("/", [](const test::ReceivedRequest& request, test::Connection& connection) {
    test::SleepFor(std::chrono::milliseconds(2500));
    test::SendResponse(request, connection, 200, "late");
  });
  for (const int timeout : {0, -5}) {
    const Outcome out = Fetch(server.Origin(), {.timeoutSeconds = timeout});
    EXPECT_EQ(out.result, "late") << "time-out " << timeout;
  }
}

struct NoAnswerCase {
  const char* name;
  std::string raw;  // sent, then the connection closes
};

void PrintTo(const NoAnswerCase& c, std::ostream* os) { *os << c.name; }

class NoAnswerTest : public WebTest, public testing::WithParamInterface<NoAnswerCase> {};

TEST_P(NoAnswerTest, IsAFailedReceive) {
  test::TestServer server;
  server.Canned("/", GetParam().raw);
  const Outcome out = Fetch(server.Origin());
  EXPECT_EQ(out.status, Cp936("712 服务器未响应!"));
  EXPECT_EQ(out.result, "");
  EXPECT_TRUE(out.OutputsUntouched());
  EXPECT_EQ(out.events, kAfterSend);
}

INSTANTIATE_TEST_SUITE_P(Cases, NoAnswerTest,
                         testing::Values(NoAnswerCase{"ClosedWithoutAWord", ""},
                                         NoAnswerCase{"NoStatusLine", "just some text"},
                                         NoAnswerCase{"VersionWithoutStatus", "HTTP/1.1\r\n\r\nok"},
                                         NoAnswerCase{"FourDigitStatus",
                                                      "HTTP/1.1 2000 Big\r\n\r\nok"}),
                         test::CaseName());

struct BrokenBodyCase {
  const char* name;
  bool reset;  // a TCP reset instead of an orderly close
};

void PrintTo(const BrokenBodyCase& c, std::ostream* os) { *os << c.name; }

class BrokenBodyTest : public WebTest, public testing::WithParamInterface<BrokenBodyCase> {};

// The read fails after the status line: the part that arrived is kept and the
// response's own status replaces the 713 text.
TEST_P(BrokenBodyTest, KeepsThePartialBodyAndReportsTheStatus) {
  test::TestServer server;
  const bool reset = GetParam().reset;
  server.Route("/", [reset](const test::ReceivedRequest&, test::Connection& connection) {
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
    test::SleepFor(std::chrono::milliseconds(100));
    reset ? connection.Reset() : connection.Close();
  });
  const Outcome out = Fetch(server.Origin());
  EXPECT_EQ(out.status, "200 OK");
  EXPECT_EQ(out.headers, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
  EXPECT_EQ(out.result, "0123456789");
  EXPECT_EQ(out.bytes, Bytes("0123456789"));
  EXPECT_EQ(out.events, CompleteExchangeEvents(out.headers, out.bytes));
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenBodyTest,
                         testing::Values(BrokenBodyCase{"Closed", false},
                                         BrokenBodyCase{"Reset", true}),
                         test::CaseName());

std::string ManyHeaderLines(int count, std::size_t length) {
  std::string lines;
  for (int i = 0; i < count; ++i) {
    lines += "X-Fill-" + std::to_string(i) + ": " + std::string(length, 'v') + "\r\n";
  }
  return lines;
}

struct BrokenHeadersCase {
  const char* name;
  std::string raw;  // sent, then the connection closes
};

void PrintTo(const BrokenHeadersCase& c, std::ostream* os) { *os << c.name; }

class BrokenHeadersTest : public WebTest, public testing::WithParamInterface<BrokenHeadersCase> {};

// Headers that never arrive whole cannot be read: 713 stays, nothing else is
// written and the result is empty.
TEST_P(BrokenHeadersTest, Keeps713AndWritesNothingElse) {
  test::TestServer server;
  server.Canned("/", GetParam().raw);
  const Outcome out = Fetch(server.Origin());
  EXPECT_EQ(out.status, Cp936("713 读取数据失败!"));
  EXPECT_EQ(out.result, "");
  EXPECT_TRUE(out.OutputsUntouched());
  EXPECT_EQ(out.events, kAfterReceive);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenHeadersTest,
    testing::Values(BrokenHeadersCase{"ClosedInsideTheHeaders", "HTTP/1.1 200 OK\r\nX-A: 1\r\n"},
                    BrokenHeadersCase{
                        "MegabytesOfHeaderLines",
                        "HTTP/1.1 200 OK\r\n" + ManyHeaderLines(3000, 1000) + "\r\nbody"},
                    BrokenHeadersCase{
                        "OneEnormousHeaderLine",
                        "HTTP/1.1 200 OK\r\nX-Long: " + std::string(300000, 'v') + "\r\n\r\nbody"}),
    test::CaseName());

TEST_F(WebTest, ShortStatusLinesGiveNoStrayText) {
  test::TestServer server;
  // libcurl takes both for status lines; neither has a status part that
  // holds a line break or a piece of a header.
  server.Canned("/short", "HTTP/2 2\r\nX-A: b\r\n\r\nok");
  server.Canned("/ten", "HTTP/2 200\r\nX-A: b\r\n\r\nok");
  const Outcome shortLine = Fetch(server.Url("/short"));
  EXPECT_EQ(shortLine.status, "");
  EXPECT_EQ(shortLine.result, "ok");
  const Outcome tenBytes = Fetch(server.Url("/ten"));
  EXPECT_EQ(tenBytes.status, "0");
  EXPECT_EQ(tenBytes.result, "ok");
}

// Lowers the largest body kept for one test.
class BodyLimit {
 public:
  explicit BodyLimit(std::size_t bytes) { SetBodyLimitForTesting(bytes); }
  ~BodyLimit() { SetBodyLimitForTesting(0); }
};

TEST_F(WebTest, BodyOverTheLimitStopsTheReadWithoutWrapping) {
  const BodyLimit limit(1000);
  test::TestServer server;
  const std::string body(5000, 'b');
  server.Respond("/announced", 200, body);
  server.Canned("/chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1388\r\n" + body +
                                "\r\n0\r\n\r\n");
  server.Respond("/fits", 200, std::string(1000, 'f'));

  // An announced length over the limit is refused before any byte is kept.
  const Outcome announced = Fetch(server.Url("/announced"));
  EXPECT_EQ(announced.status, "200 OK");
  EXPECT_EQ(announced.result, "");
  EXPECT_TRUE(announced.bytes.empty());

  // Without one, the read stops at the limit with what fitted.
  const Outcome chunked = Fetch(server.Url("/chunked"));
  EXPECT_EQ(chunked.status, "200 OK");
  EXPECT_EQ(chunked.bytes.size(), 1000u);
  EXPECT_EQ(chunked.result, std::string(1000, 'b'));

  const Outcome fits = Fetch(server.Url("/fits"));
  EXPECT_EQ(fits.result, std::string(1000, 'f'));
}

struct BadHeaderCase {
  const char* name;
  std::string extraHeaders;
  std::optional<TextValue> sendCookies;
  std::string body;
};

void PrintTo(const BadHeaderCase& c, std::ostream* os) { *os << c.name; }

class BadHeaderTest : public WebTest, public testing::WithParamInterface<BadHeaderCase> {};

TEST_P(BadHeaderTest, IsRefusedWith710BeforeAnythingIsSent) {
  const BadHeaderCase& c = GetParam();
  test::TestServer server;
  std::optional<TextValue> cookies = c.sendCookies;
  const Outcome out = Fetch(server.Origin(), {.method = 1,
                                              .postData = c.body,
                                              .sendCookies = cookies ? &*cookies : nullptr,
                                              .extraHeaders = c.extraHeaders});
  EXPECT_EQ(out.status, Cp936("710 设置协议头失败!"));
  EXPECT_EQ(out.result, "");
  EXPECT_TRUE(out.OutputsUntouched());
  EXPECT_EQ(cookies, c.sendCookies);
  EXPECT_EQ(out.events, kAfterTimeouts);
  EXPECT_EQ(server.ConnectionCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadHeaderTest,
    testing::Values(BadHeaderCase{"LineWithoutColon", "X-A: 1\r\nNoColonHere", {}, ""},
                    BadHeaderCase{"EmptyName", ": value", {}, ""},
                    BadHeaderCase{"SpaceInName", "Bad Name: x", {}, ""},
                    BadHeaderCase{"LoneLineFeed", "X-A: 1\nX-B: 2", {}, ""},
                    BadHeaderCase{"LoneCarriageReturn", "X-A: 1\rX-B: 2", {}, ""},
                    BadHeaderCase{"ControlCharacterInValue", "X-A: a\x01z", {}, ""},
                    BadHeaderCase{"CookiesWithCrLf", "", TextValue("a=1\r\nX-Injected: 1"), ""},
                    BadHeaderCase{"CookiesWithLineFeed", "", TextValue("a=1\nb=2"), ""},
                    BadHeaderCase{
                        "ContentLengthDisagreeingWithBody", "Content-Length: 99", {}, "abc"}),
    test::CaseName());

// libcurl refuses option strings over 8 MB, which fails the credential steps:
// these end at once, without the ProcessEvents calls of a normal end.
TEST_F(WebTest, CredentialsThatCannotBeSetEndTheCallAtOnce) {
  test::TestServer server;
  const std::string huge(9'000'000, 'u');

  const Outcome serverCredentials = Fetch(server.Origin(), {.userName = huge, .password = "p"});
  EXPECT_EQ(serverCredentials.status, Cp936("706 设置服务器凭证失败!"));
  EXPECT_EQ(serverCredentials.result, "");
  EXPECT_TRUE(serverCredentials.OutputsUntouched());
  EXPECT_EQ(serverCredentials.events, 0);

  const Outcome proxyCredentials = Fetch(
      server.Origin(), {.proxy = server.HostPort(), .proxyUserName = huge, .proxyPassword = "p"});
  EXPECT_EQ(proxyCredentials.status, Cp936("707 设置代理凭证失败!"));
  EXPECT_EQ(proxyCredentials.result, "");
  EXPECT_EQ(proxyCredentials.events, 0);

  EXPECT_EQ(server.ConnectionCount(), 0u);
}

}  // namespace
}  // namespace velinor::webtest
