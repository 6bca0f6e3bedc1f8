// The whole-file GET against the local server: what it sends, and what it
// hands back for each way a response can end.
#include "app/http_get_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "tests/support/test_server.h"
#include "text/text.h"
#include "web/curl_handle.h"

namespace velinor::test {
namespace {

std::string AsString(const ByteBuffer& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Every byte value, zeros included, as audio is.
std::string BinaryBody(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  return body;
}

TEST(HttpGetFileTest, SendsAPlainHttp10RequestAndPumpsNothing) {
  TestServer server;
  const std::string audio = BinaryBody(5000);
  server.Respond("/audio/a.mp3", 200, audio, {{"Content-Type", "audio/mpeg"}});
  int pumped = 0;
  auto previous = SetProcessEventsHook([&pumped] { ++pumped; });

  HttpGetFileOutcome outcome;
  const ByteBuffer bytes = HttpGetFile(server.Url("/audio/a.mp3?id=7"), &outcome);
  SetProcessEventsHook(previous);

  EXPECT_EQ(AsString(bytes), audio);
  EXPECT_EQ(outcome.status, 200);
  EXPECT_TRUE(outcome.complete);
  EXPECT_EQ(pumped, 0);
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.LastRequest().head,
            "GET /audio/a.mp3?id=7 HTTP/1.0\r\n"
            "Host: " +
                server.HostPort() +
                "\r\n"
                "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
                "Accept: */*\r\n");
}

struct ResponseCase {
  const char* name;
  std::function<void(TestServer&)> script;  // serves "/a.mp3"
  std::string bytes;
  long status;
  bool complete;
};
// Test names show the row's name rather than its bytes.
void PrintTo(const ResponseCase& row, std::ostream* out) { *out << row.name; }

class HttpGetFileResponseTest : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(HttpGetFileResponseTest, ReturnsWhatArrived) {
  const ResponseCase& row = GetParam();
  TestServer server;
  row.script(server);

  HttpGetFileOutcome outcome;
  const ByteBuffer bytes = HttpGetFile(server.Url("/a.mp3"), &outcome);

  EXPECT_EQ(AsString(bytes), row.bytes);
  EXPECT_EQ(outcome.status, row.status);
  EXPECT_EQ(outcome.complete, row.complete);
}

const std::string kAudio = BinaryBody(3000);

void SendHeadThen(Connection& connection, std::string_view head, std::string_view body) {
  connection.Send(head);
  connection.Send(body);
}

INSTANTIATE_TEST_SUITE_P(
    Responses, HttpGetFileResponseTest,
    ::testing::Values(
        ResponseCase{"error_page_returned_with_its_status",
                     [](TestServer& s) { s.Respond("/a.mp3", 404, "<html>missing</html>"); },
                     "<html>missing</html>", 404, true},
        ResponseCase{"empty_body", [](TestServer& s) { s.Respond("/a.mp3", 200, ""); }, "", 200,
                     true},
        ResponseCase{"redirects_followed_without_their_bodies",
                     [](TestServer& s) {
                       s.Redirect("/a.mp3", "/b.mp3", 302);
                       s.Redirect("/b.mp3", s.Url("/c.mp3"), 301);
                       s.Respond("/c.mp3", 200, kAudio);
                     },
                     kAudio, 200, true},
        ResponseCase{"body_ended_by_close",
                     [](TestServer& s) { s.Canned("/a.mp3", "HTTP/1.0 200 OK\r\n\r\n" + kAudio); },
                     kAudio, 200, true},
        ResponseCase{"close_before_announced_length",
                     [](TestServer& s) {
                       s.Route("/a.mp3", [](const ReceivedRequest&, Connection& c) {
                         SendHeadThen(c, "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n",
                                      std::string_view(kAudio).substr(0, 1200));
                         c.Close();
                       });
                     },
                     kAudio.substr(0, 1200), 200, false},
        ResponseCase{"reset_before_announced_length",
                     [](TestServer& s) {
                       s.Route("/a.mp3", [](const ReceivedRequest&, Connection& c) {
                         SendHeadThen(c, "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n",
                                      std::string_view(kAudio).substr(0, 1200));
                         SleepFor(std::chrono::milliseconds(100));
                         c.Reset();
                       });
                     },
                     kAudio.substr(0, 1200), 200, false},
        ResponseCase{"close_inside_the_headers",
                     [](TestServer& s) { s.Canned("/a.mp3", "HTTP/1.1 200 OK\r\nContent-Le"); }, "",
                     200, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(HttpGetFileTest, RefusedConnectionGivesNothing) {
  HttpGetFileOutcome outcome{.status = 99, .complete = true};
  const ByteBuffer bytes =
      HttpGetFile("http://127.0.0.1:" + std::to_string(RefusedPort()) + "/a.mp3", &outcome);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(outcome.status, 0);
  EXPECT_FALSE(outcome.complete);
}

TEST(HttpGetFileTest, HttpsIsVerified) {
  SetExtraCaFileForTesting(TestCaCertificateFile());
  TestServer trusted({.tls = true});
  trusted.Respond("/a.mp3", 200, kAudio);
  auto untrusted = MakeUntrustedTlsServer();
  untrusted->Respond("/a.mp3", 200, kAudio);

  HttpGetFileOutcome good, bad;
  const ByteBuffer fromTrusted = HttpGetFile(trusted.Url("/a.mp3"), &good);
  const ByteBuffer fromUntrusted = HttpGetFile(untrusted->Url("/a.mp3"), &bad);
  SetExtraCaFileForTesting("");

  EXPECT_EQ(AsString(fromTrusted), kAudio);
  EXPECT_TRUE(good.complete);
  EXPECT_TRUE(fromUntrusted.empty());
  EXPECT_FALSE(bad.complete);
  EXPECT_EQ(untrusted->RequestCount(), 0u);
}

}  // namespace
}  // namespace velinor::test
