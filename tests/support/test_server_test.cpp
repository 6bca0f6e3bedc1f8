#include "tests/support/test_server.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

namespace velinor::test {
namespace {

using namespace std::chrono_literals;

struct Reply {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string headers;
  std::string body;
};

// One easy handle, reused so a test can see whether its connection was kept.
class Client {
 public:
  Client() : curl_(curl_easy_init()) {}
  ~Client() { curl_easy_cleanup(curl_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  Reply Get(const std::string& url, const std::function<void(CURL*)>& setup = {}) {
    Reply reply;
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, &Append);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &reply.headers);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &reply.body);
    if (setup) setup(curl_);
    reply.code = curl_easy_perform(curl_);
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
  }

  CURL* handle() { return curl_; }

 private:
  static std::size_t Append(char* data, std::size_t size, std::size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
  }

  CURL* curl_;
};

class Socket {
 public:
  explicit Socket(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Socket() { ::close(fd_); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool connected() const { return connected_; }
  int fd() const { return fd_; }
  void Send(std::string_view bytes) {
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Everything until the server closes (or resets) the connection.
  std::string ReadAll() {
    std::string out;
    char buffer[4096];
    ssize_t got;
    while ((got = ::recv(fd_, buffer, sizeof buffer, 0)) > 0) {
      out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
  }

 private:
  int fd_;
  bool connected_ = false;
};

std::string Exchange(const TestServer& server, std::string_view request) {
  Socket socket(server.Port());
  EXPECT_TRUE(socket.connected());
  socket.Send(request);
  return socket.ReadAll();
}

std::size_t CountEntries(const char* directory) {
  std::size_t count = 0;
  if (DIR* dir = opendir(directory)) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

TEST(TestServer, RoutesAnswerByPathAndTheRestIsNotFound) {
  TestServer server;
  server.Respond("/hello", 200, "hi there", {{"X-Test", "1"}});
  server.Respond("/teapot", 418, "short", {{"Content-Length", "5"}}, "I'm a teapot");
  server.Redirect("/old", "/hello", 301);

  struct Case {
    std::string path;
    bool follow;
    long status;
    std::string statusLine;
    std::string body;
  };
  const Case cases[] = {
      {"/hello", false, 200, "HTTP/1.1 200 OK\r\n", "hi there"},
      {"/hello?q=1&r=2", false, 200, "HTTP/1.1 200 OK\r\n", "hi there"},
      {"/hello/", false, 404, "HTTP/1.1 404 Not Found\r\n", "Not Found\n"},
      {"/nowhere", false, 404, "HTTP/1.1 404 Not Found\r\n", "Not Found\n"},
      {"/teapot", false, 418, "HTTP/1.1 418 I'm a teapot\r\n", "short"},
      {"/old", false, 301, "HTTP/1.1 301 Moved Permanently\r\n", ""},
      {"/old", true, 200, "HTTP/1.1 200 OK\r\n", "hi there"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Client client;
    const Reply reply = client.Get(server.Url(c.path), [&](CURL* curl) {
      curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, c.follow ? 1L : 0L);
    });
    ASSERT_EQ(reply.code, CURLE_OK);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.body, c.body);
    // The final response's status line is the last one libcurl reported.
    EXPECT_NE(reply.headers.rfind(c.statusLine), std::string::npos) << reply.headers;
  }
  // Exactly one Content-Length, the one given or the one added.
  const std::string hello = Exchange(server, "GET /hello HTTP/1.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(hello, "HTTP/1.1 200 OK\r\nX-Test: 1\r\nContent-Length: 8\r\n\r\nhi there");
  const std::string teapot = Exchange(server, "GET /teapot HTTP/1.0\r\n\r\n");
  EXPECT_EQ(teapot, "HTTP/1.1 418 I'm a teapot\r\nContent-Length: 5\r\n\r\nshort");
  EXPECT_EQ(server.Url("/a?b"), "http://127.0.0.1:" + std::to_string(server.Port()) + "/a?b");
}

TEST(TestServer, CannedBytesArriveVerbatimAndBrokenAnswersBreakTheClient) {
  const std::string raw =
      "HTTP/1.1 200 OK\r\ncontent-type:text/plain\r\nX-Odd :  spaced \r\n\r\nuntil the close";
  TestServer server;
  server.Canned("/raw", raw);
  server.Route("/short", [](const ReceivedRequest&, Connection& connection) {
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this");
    connection.Close();
  });
  server.Route("/reset", [](const ReceivedRequest&, Connection& connection) {
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this");
    SleepFor(100ms);  // let the bytes leave before the reset discards them
    connection.Reset();
  });

  EXPECT_EQ(Exchange(server, "GET /raw HTTP/1.1\r\nHost: x\r\n\r\n"), raw);

  struct Case {
    std::string path;
    CURLcode code;
    std::string body;
  };
  const Case cases[] = {
      {"/raw", CURLE_OK, "until the close"},
      {"/short", CURLE_PARTIAL_FILE, "only this"},
      {"/reset", CURLE_RECV_ERROR, "only this"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Client client;
    const Reply reply = client.Get(server.Url(c.path));
    EXPECT_EQ(reply.code, c.code) << curl_easy_strerror(reply.code);
    EXPECT_EQ(reply.body, c.body);
  }
}

TEST(TestServer, RecordsRequestsAsSent) {
  TestServer server;
  server.Respond("/upload", 201, "stored");
  const std::string head =
      "POST /upload?x=1 HTTP/1.1\r\n"
      "Host: 127.0.0.1\r\n"
      "x-lower: a\r\n"
      "Transfer-Encoding: chunked\r\n"
      "X-Spaced:   v w  \r\n"
      "X-Lower: b\r\n";
  const std::string pipelined =
      head + "\r\n5\r\nhello\r\n7;ext=1\r\n, world\r\n0\r\nTrailer: t\r\n\r\n" +
      "PUT /second HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc" + "GET /third HTTP/1.0\r\n\r\n";

  const std::string answers = Exchange(server, pipelined);
  EXPECT_EQ(answers.rfind("HTTP/1.1 201 Created\r\nContent-Length: 6\r\n\r\nstored", 0), 0u)
      << answers;

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  const ReceivedRequest& first = requests[0];
  EXPECT_EQ(first.head, head);
  EXPECT_EQ(first.method, "POST");
  EXPECT_EQ(first.target, "/upload?x=1");
  EXPECT_EQ(first.Path(), "/upload");
  EXPECT_EQ(first.version, "HTTP/1.1");
  const std::vector<std::pair<std::string, std::string>> headers = {
      {"Host", "127.0.0.1"},
      {"x-lower", "a"},
      {"Transfer-Encoding", "chunked"},
      {"X-Spaced", "v w"},
      {"X-Lower", "b"}};
  EXPECT_EQ(first.headers, headers);
  EXPECT_EQ(first.Header("X-LOWER"), "a");
  EXPECT_TRUE(first.HasHeader("x-spaced"));
  EXPECT_FALSE(first.HasHeader("Trailer"));
  EXPECT_EQ(first.Header("Absent"), "");
  EXPECT_EQ(first.body, "hello, world");

  EXPECT_EQ(requests[1].method, "PUT");
  EXPECT_EQ(requests[1].body, "abc");
  EXPECT_EQ(requests[2].target, "/third");
  EXPECT_EQ(requests[2].body, "");
  EXPECT_EQ(server.LastRequest().target, "/third");
  EXPECT_EQ(server.ConnectionCount(), 1u);

  // Credentials and a large body through a real client, with its 100-continue dance.
  const std::string big(3 << 20, 'z');
  Client client;
  const Reply reply = client.Get(server.Url("/upload"), [&](CURL* curl) {
    curl_easy_setopt(curl, CURLOPT_USERPWD, "user:pa:ss");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, big.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(big.size()));
  });
  ASSERT_EQ(reply.code, CURLE_OK);
  EXPECT_EQ(reply.status, 201);
  const ReceivedRequest post = server.LastRequest();
  EXPECT_EQ(post.Header("Authorization"), BasicAuthorization("user", "pa:ss"));
  EXPECT_EQ(post.body, big);

  server.ClearRequests();
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_EQ(server.LastRequest().method, "");
}

TEST(TestServer, KeepsConnectionsAliveOnlyWhenBothSidesMayKeepThem) {
  struct Case {
    const char* name;
    bool keepAlive;
    long httpVersion;
    bool headFirst;
    std::size_t connections;
  };
  const Case cases[] = {
      {"HTTP/1.1 reuses", true, CURL_HTTP_VERSION_1_1, false, 1},
      {"HEAD leaves no body behind", true, CURL_HTTP_VERSION_1_1, true, 1},
      {"server option closes", false, CURL_HTTP_VERSION_1_1, false, 2},
      {"HTTP/1.0 closes", true, CURL_HTTP_VERSION_1_0, false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestServer server({.keepAlive = c.keepAlive});
    server.Respond("/", 200, "same body");
    Client client;
    const auto version = [&](CURL* curl) {
      curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, c.httpVersion);
      if (c.headFirst) curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    };
    const Reply first = client.Get(server.Url("/"), version);
    EXPECT_EQ(first.code, CURLE_OK);
    EXPECT_EQ(first.body, c.headFirst ? "" : "same body");
    const Reply second = client.Get(
        server.Url("/"), [](CURL* curl) { curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L); });
    EXPECT_EQ(second.code, CURLE_OK);
    EXPECT_EQ(second.body, "same body");
    EXPECT_EQ(server.ConnectionCount(), c.connections);
    EXPECT_EQ(server.RequestCount(), 2u);
  }
}

TEST(TestServer, TlsIsTrustedOnlyThroughTheTestAuthority) {
  TestServer server({.tls = true});
  server.Respond("/secure", 200, "encrypted");
  server.Canned("/canned", "HTTP/1.1 200 OK\r\n\r\nclose-delimited");
  EXPECT_EQ(server.Origin(), "https://127.0.0.1:" + std::to_string(server.Port()));
  const std::string ca = TestCaCertificateFile();
  const std::string resolve = "localhost:" + std::to_string(server.Port()) + ":127.0.0.1";
  curl_slist* localhost = curl_slist_append(nullptr, resolve.c_str());
  const auto trust = [&](CURL* curl) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(curl, CURLOPT_RESOLVE, localhost);
  };

  const std::string urls[] = {
      server.Url("/secure"),
      "https://localhost:" + std::to_string(server.Port()) + "/secure",
  };
  for (const std::string& url : urls) {
    SCOPED_TRACE(url);
    Client client;
    const Reply reply = client.Get(url, trust);
    EXPECT_EQ(reply.code, CURLE_OK) << curl_easy_strerror(reply.code);
    EXPECT_EQ(reply.body, "encrypted");
  }
  Client client;
  const Reply canned = client.Get(server.Url("/canned"), trust);
  EXPECT_EQ(canned.code, CURLE_OK) << curl_easy_strerror(canned.code);
  EXPECT_EQ(canned.body, "close-delimited");

  const auto untrusted = MakeUntrustedTlsServer();
  untrusted->Respond("/secure", 200, "encrypted");
  Client refused;
  const Reply reply = refused.Get(untrusted->Url("/secure"), trust);
  EXPECT_EQ(reply.code, CURLE_PEER_FAILED_VERIFICATION) << curl_easy_strerror(reply.code);
  EXPECT_EQ(untrusted->ConnectionCount(), 1u);
  EXPECT_EQ(untrusted->RequestCount(), 0u);
  curl_slist_free_all(localhost);
}

TEST(TestServer, ActsAsARecordingForwardProxy) {
  TestServer proxy;
  proxy.Respond("/page", 200, "via proxy");
  proxy.Respond("guarded.test:443", 407, "",
                {{"Proxy-Authenticate", "Basic realm=\"proxy\""}, {"Connection", "close"}});
  const auto throughProxy = [&](bool tunnel) {
    return [&proxy, tunnel](CURL* curl) {
      curl_easy_setopt(curl, CURLOPT_PROXY, proxy.Origin().c_str());
      curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, "agent:secret");
      curl_easy_setopt(curl, CURLOPT_HTTPPROXYTUNNEL, tunnel ? 1L : 0L);
    };
  };
  const std::string credentials = BasicAuthorization("agent", "secret");

  Client client;
  const Reply forwarded = client.Get("http://sounds.test/page?id=3", throughProxy(false));
  ASSERT_EQ(forwarded.code, CURLE_OK);
  EXPECT_EQ(forwarded.body, "via proxy");
  const ReceivedRequest get = proxy.LastRequest();
  EXPECT_EQ(get.target, "http://sounds.test/page?id=3");
  EXPECT_EQ(get.Path(), "/page");
  EXPECT_EQ(get.Header("Proxy-Authorization"), credentials);

  struct Case {
    std::string url;
    std::string target;
    long connectCode;
  };
  const Case cases[] = {
      {"https://sounds.test/", "sounds.test:443", 403},
      {"https://guarded.test/", "guarded.test:443", 407},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    Client tunnelClient;
    const Reply reply = tunnelClient.Get(c.url, throughProxy(true));
    EXPECT_NE(reply.code, CURLE_OK);
    long connectCode = 0;
    curl_easy_getinfo(tunnelClient.handle(), CURLINFO_HTTP_CONNECTCODE, &connectCode);
    EXPECT_EQ(connectCode, c.connectCode);
    const ReceivedRequest connect = proxy.LastRequest();
    EXPECT_EQ(connect.method, "CONNECT");
    EXPECT_EQ(connect.target, c.target);
    EXPECT_EQ(connect.Header("Proxy-Authorization"), credentials);
  }
}

TEST(TestServer, AnswersOrDropsMalformedRequestsAndKeepsServing) {
  TestServer server;
  server.Respond("/", 200, "fine");
  struct Case {
    const char* name;
    std::string bytes;
    std::string answerStart;  // "" when the server just closes
  };
  const Case cases[] = {
      {"no request line", "NONSENSE\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"header without colon", "GET / HTTP/1.1\r\nno colon here\r\n\r\n", "HTTP/1.1 400 "},
      {"bad length", "POST / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", "HTTP/1.1 400 "},
      {"conflicting lengths", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
       "HTTP/1.1 400 "},
      {"bad chunk size", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       "HTTP/1.1 400 "},
      {"unframeable coding", "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\nxx",
       "HTTP/1.1 400 "},
      {"body cut short", "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc", ""},
      {"head cut short", "GET / HTTP/1.1\r\nHost: x", ""},
      {"nothing at all", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Socket socket(server.Port());
    ASSERT_TRUE(socket.connected());
    socket.Send(c.bytes);
    ::shutdown(socket.fd(), SHUT_WR);
    const std::string answer = socket.ReadAll();
    if (c.answerStart.empty()) {
      EXPECT_EQ(answer, "");
    } else {
      EXPECT_EQ(answer.rfind(c.answerStart, 0), 0u) << answer;
    }
  }
  EXPECT_EQ(server.RequestCount(), 0u);
  Client client;
  EXPECT_EQ(client.Get(server.Url("/")).body, "fine");
}

TEST(TestServer, DestructionCutsEveryConnectionAndLeavesNothingBehind) {
  const std::size_t descriptors = CountEntries("/proc/self/fd");
  const std::size_t threads = CountEntries("/proc/self/task");
  {
    auto server = std::make_unique<TestServer>();
    server->Route("/sleep", [](const ReceivedRequest&, Connection& connection) {
      SleepFor(std::chrono::minutes(5));
      connection.Send("HTTP/1.1 204 No Content\r\n\r\n");
    });
    server->Route("/flood", [](const ReceivedRequest&, Connection& connection) {
      connection.Send(std::string(64 << 20, 'x'));  // far beyond the socket buffers
    });
    Socket idle(server->Port());
    Socket partial(server->Port());
    Socket sleeping(server->Port());
    Socket flooded(server->Port());
    partial.Send("GET /partial HTTP/1.1\r\nHo");
    sleeping.Send("GET /sleep HTTP/1.1\r\n\r\n");
    flooded.Send("GET /flood HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(server->WaitForRequests(2));

    const auto start = std::chrono::steady_clock::now();
    server.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_EQ(idle.ReadAll(), "");
    EXPECT_EQ(sleeping.ReadAll(), "");
  }
  EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors);
  EXPECT_EQ(CountEntries("/proc/self/task"), threads);
}

TEST(TestServer, HelpersForCredentialsAndRefusedPorts) {
  const std::pair<std::pair<const char*, const char*>, const char*> cases[] = {
      {{"Aladdin", "open sesame"}, "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
      {{"a", ""}, "Basic YTo="},
      {{"", ""}, "Basic Og=="},
      {{"ab", "c"}, "Basic YWI6Yw=="},
      {{"\xe7\x94\xa8", "\xff"}, "Basic 55SoOv8="},
  };
  for (const auto& [credentials, expected] : cases) {
    EXPECT_EQ(BasicAuthorization(credentials.first, credentials.second), expected);
  }
  Client client;
  const Reply reply =
      client.Get("http://127.0.0.1:" + std::to_string(RefusedPort()) + "/",
                 [](CURL* curl) { curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L); });
  EXPECT_EQ(reply.code, CURLE_COULDNT_CONNECT);
}

}  // namespace
}  // namespace velinor::test
