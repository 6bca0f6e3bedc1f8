// Thousands of WebRequest calls in a row against the local test server, every
// way an exchange can end, each checked: the process's open descriptors and
// resident memory after a warm-up must equal those at the end, within a
// margin that one leaked descriptor or a few KiB per call would exceed.
//
// VELINOR_SOAK_CALLS sets the number of calls (default 2000), so a slow
// runner such as valgrind can take fewer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/soak/process_usage.h"
#include "tests/soak/soak_plan.h"
#include "tests/support/test_server.h"
#include "text/encoding.h"
#include "web/curl_handle.h"
#include "web/web_request.h"

namespace velinor::soak {
namespace {

using test::Connection;
using test::ReceivedRequest;
using test::TestServer;

// A margin for descriptors the server's threads may still hold for a moment.
constexpr std::size_t kDescriptorMargin = 4;
// 1800 measured calls: a leak of 600 bytes a call already exceeds this.
constexpr std::size_t kResidentMarginBytes = 1024 * 1024;

std::string Page(const std::string& charset, std::size_t filler) {
  return "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset +
         "\"><title>" + Utf8ToAnsi("雨声") + "</title></head><body>" + std::string(filler, 'x') +
         "</body></html>";
}

std::string Utf8Page(std::size_t filler) {
  return "<html><head><meta charset=\"utf-8\"><title>雨声下载_正版</title></head><body>" +
         std::string(filler, 'y') + "清脆铃声</body></html>";
}

// One kind of call: makes it and says what went wrong, "" when nothing did.
struct CallKind {
  const char* name;
  std::function<std::string()> call;
};

std::string Expect(const char* what, const std::string& got, const std::string& wanted) {
  if (got == wanted) return "";
  return std::string(what) + ": got \"" + AnsiToUtf8(got) + "\", wanted \"" + AnsiToUtf8(wanted) +
         "\"";
}

class WebRequestSoak : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SetExtraCaFileForTesting(test::TestCaCertificateFile()); }
  static void TearDownTestSuite() { SetExtraCaFileForTesting(""); }

  void SetUp() override {
    for (TestServer* server : {&plain_, &tls_}) {
      server->Respond("/gbk", 200, Page("gbk", 2000), {{"Content-Type", "text/html"}});
      server->Respond("/utf8", 200, Utf8Page(2000), {{"Content-Type", "text/html"}});
    }
    // Cookies are set along a redirect and at its end: the jar of the call
    // carries the first, the merge takes the second.
    plain_.Route("/cookies", [](const ReceivedRequest& request, Connection& connection) {
      test::SendResponse(request, connection, 302, "",
                         {{"Location", "/set"}, {"Set-Cookie", "theme=dark; Path=/"}});
    });
    plain_.Route("/set", [](const ReceivedRequest& request, Connection& connection) {
      const bool carried = request.Header("Cookie").find("theme=dark") != std::string::npos;
      test::SendResponse(request, connection, carried ? 200 : 400, "",
                         {{"Set-Cookie", "session=abc123; Path=/"}});
    });
    plain_.Redirect("/hop1", "/hop2", 301);
    plain_.Redirect("/hop2", "/utf8", 302);
    plain_.Route("/echo", [](const ReceivedRequest& request, Connection& connection) {
      test::SendResponse(request, connection, 200, request.body);
    });
    plain_.Respond("/large", 200, std::string(256 * 1024, 'z'));
    plain_.Route("/silent",
                 [this](const ReceivedRequest&, Connection&) { silence_.WaitOnServer(); });
    plain_.Route("/cut", [](const ReceivedRequest&, Connection& connection) {
      connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + std::string(700, 'c'));
      connection.Close();
    });
    plain_.Route("/reset", [](const ReceivedRequest&, Connection& connection) {
      connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + std::string(700, 'r'));
      connection.Reset();
    });
    plain_.Canned("/bad-head", "HTTP/1.1 200 OK\r\nContent-Len");
  }

  std::string Status(std::string_view url, WebRequestOptions options = {}) {
    TextValue status = "untouched";
    options.statusText = &status;
    WebRequest(url, options);
    return status;
  }

  std::vector<CallKind> Kinds() {
    const std::string refused = "http://127.0.0.1:" + std::to_string(test::RefusedPort()) + "/";
    const auto ok = std::string("200 OK");
    return {
        {"gbk page",
         [this, ok] {
           TextValue headers;
           const TextValue page = WebRequest(plain_.Url("/gbk"), {.returnedHeaders = &headers});
           if (FindText(page, Utf8ToAnsi("雨声")) == -1) return std::string("gbk page: no title");
           return Expect("gbk page", TextLeft(headers, 15), "HTTP/1.1 200 OK");
         }},
        {"utf-8 page re-decoded",
         [this] {
           const TextValue page = WebRequest(plain_.Url("/utf8"));
           return Expect("utf-8 page", TextBetween(page, "<title>", "</title>"),
                         Utf8ToAnsi("雨声下载_正版"));
         }},
        {"redirect with cookies",
         [this, ok] {
           TextValue jar = "lang=zh";
           TextValue returned;
           const std::string status =
               Status(plain_.Url("/cookies"), {.sendCookies = &jar, .returnedCookies = &returned});
           return Expect("redirect with cookies", status, ok) +
                  Expect("redirect with cookies", jar, "session=abc123; lang=zh") +
                  Expect("redirect with cookies", returned, jar);
         }},
        {"two redirects",
         [this, ok] { return Expect("redirects", Status(plain_.Url("/hop1")), ok); }},
        {"not redirected",
         [this] {
           TextValue location;
           const std::string status =
               Status(plain_.Url("/hop1"), {.noRedirect = true, .redirectAddress = &location});
           return Expect("not redirected", location, "/hop2") +
                  Expect("not redirected", status, "301 Moved Permanently");
         }},
        {"not found",
         [this] { return Expect("not found", Status(plain_.Url("/nothing")), "404 Not Found"); }},
        {"post with bytes",
         [this] {
           ByteBuffer bytes;
           const std::string body(3000, 'p');
           WebRequest(plain_.Url("/echo"),
                      {.method = 1, .postData = body, .responseBytes = &bytes});
           return Expect("post", std::string(bytes.begin(), bytes.end()), body);
         }},
        {"large body",
         [this] {
           ByteBuffer bytes;
           const TextValue text = WebRequest(plain_.Url("/large"), {.responseBytes = &bytes});
           return bytes.size() == 256 * 1024 && text.size() == bytes.size()
                      ? std::string()
                      : "large body: " + std::to_string(bytes.size()) + " bytes";
         }},
        {"tls page",
         [this] {
           const TextValue page = WebRequest(tls_.Url("/utf8"));
           return Expect("tls page", TextBetween(page, "<title>", "</title>"),
                         Utf8ToAnsi("雨声下载_正版"));
         }},
        {"through a proxy with credentials",
         [this] {
           return Expect("proxy",
                         Status("http://velinor.invalid/media/1.html", {.proxy = plain_.HostPort(),
                                                                        .proxyUserName = "user",
                                                                        .proxyPassword = "secret"}),
                         "404 Not Found");
         }},
        {"refused port",
         [this, refused] {
           return Expect("refused", Status(refused), Utf8ToAnsi("711 发送请求失败!"));
         }},
        // The response's own status replaces the 713 of the broken read.
        {"body cut short", [this] { return BrokenBody("/cut"); }},
        {"connection reset", [this] { return BrokenBody("/reset"); }},
        {"headers cut short",
         [this] {
           return Expect("bad head", Status(plain_.Url("/bad-head")),
                         Utf8ToAnsi("713 读取数据失败!"));
         }},
        {"bad address",
         [this] {
           return Expect("bad address", Status("http://127.0.0.1:99999/"),
                         Utf8ToAnsi("701 解析URL地址失败!"));
         }},
    };
  }

  std::string BrokenBody(const std::string& path) {
    ByteBuffer bytes;
    const std::string status = Status(plain_.Url(path), {.responseBytes = &bytes});
    return Expect(path.c_str(), status, "200 OK") +
           Expect(path.c_str(), std::to_string(bytes.size()), "700");
  }

  std::string TimeOut() {
    const std::string status = Status(plain_.Url("/silent"), {.timeoutSeconds = 1});
    silence_.Open();
    return Expect("time-out", status, Utf8ToAnsi("712 服务器未响应!"));
  }

  Gate silence_;  // outlives the servers, whose threads wait on it
  TestServer plain_;
  TestServer tls_{{.tls = true}};
};

TEST_F(WebRequestSoak, DescriptorsAndMemoryStayFlat) {
  const std::size_t calls = CallsFromEnvironment(2000);
  const std::vector<CallKind> kinds = Kinds();
  const SoakPlan plan(calls, /*timeOuts=*/5);

  std::vector<std::string> faults;
  Usage afterWarmUp;
  for (std::size_t i = 0; i < calls; ++i) {
    const CallKind& kind = kinds[i % kinds.size()];
    const std::string fault = plan.IsTimeOut(i) ? TimeOut() : kind.call();
    if (!fault.empty() && faults.size() < 10) {
      faults.push_back("call " + std::to_string(i) + " (" +
                       (plan.IsTimeOut(i) ? "time-out" : kind.name) + "): " + fault);
    }
    // The servers keep every request they saw: not a growth of ours.
    plain_.ClearRequests();
    tls_.ClearRequests();
    if (i + 1 == plan.WarmUp()) afterWarmUp = Settled();
  }
  const Usage atEnd = Settled();

  EXPECT_EQ(faults, std::vector<std::string>{});
  ExpectFlat(afterWarmUp, atEnd, calls - plan.WarmUp(), kDescriptorMargin, kResidentMarginBytes);
}

}  // namespace
}  // namespace velinor::soak
