#include "tests/support/test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <exception>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "tests/support/request_reader.h"
#include "tests/support/tls_identity.h"

namespace velinor::test {
namespace {

using Clock = std::chrono::steady_clock;

// How long a closing connection waits for the peer to finish sending, so that
// closing with unread bytes does not turn into a reset that loses our answer.
constexpr auto kLinger = std::chrono::seconds(2);

[[noreturn]] void SystemFail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Whether a comma-separated header value (Connection) names `token`.
bool ListHas(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (SameName(item, token)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

bool ConnectionHeaderHas(const std::vector<std::pair<std::string, std::string>>& headers,
                         std::string_view token) {
  return std::any_of(headers.begin(), headers.end(), [&](const auto& header) {
    return SameName(header.first, "Connection") && ListHas(header.second, token);
  });
}

bool WantsKeepAlive(const ReceivedRequest& request) {
  if (request.version == "HTTP/1.1") return !ConnectionHeaderHas(request.headers, "close");
  if (request.version == "HTTP/1.0") return ConnectionHeaderHas(request.headers, "keep-alive");
  return false;
}

// A test process must survive a client that goes away while we write; OpenSSL
// writes to its socket without MSG_NOSIGNAL.
void IgnoreSigpipe() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      std::signal(SIGPIPE, SIG_IGN);
    }
  });
}

// Set while a server is being destroyed, so handlers sleeping on its threads wake.
struct StopSignal {
  std::mutex mutex;
  std::condition_variable changed;
  bool stopping = false;
};

thread_local StopSignal* tCurrentStop = nullptr;

// The sockets of live connections, so that stopping can cut every one of them
// (a blocked read or write then returns at once).
class SocketRegistry {
 public:
  // False, with the socket closed, once stopping has begun.
  bool Add(int fd) {
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return false;
    }
    sockets_.insert(fd);
    return true;
  }

  // Under the lock, so a descriptor is never shut down after its number was reused.
  void Close(int fd, bool reset) {
    std::lock_guard lock(mutex_);
    sockets_.erase(fd);
    if (reset) {
      const linger abort{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    ::close(fd);
  }

  void StopAll() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (const int fd : sockets_) ::shutdown(fd, SHUT_RDWR);
  }

 private:
  std::mutex mutex_;
  std::set<int> sockets_;
  bool stopping_ = false;
};

class ServerConnection final : public Connection {
 public:
  ServerConnection(SocketRegistry& sockets, int fd) : sockets_(sockets), fd_(fd) {}

  ~ServerConnection() override {
    Finish();
    if (ssl_ != nullptr) SSL_free(ssl_);
  }

  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  bool Handshake(SSL_CTX* ctx) {
    ssl_ = SSL_new(ctx);
    if (ssl_ == nullptr || SSL_set_fd(ssl_, fd_) != 1 || SSL_accept(ssl_) != 1) {
      ERR_clear_error();
      tlsFailed_ = true;
      return false;
    }
    return true;
  }

  long Read(char* data, std::size_t size) {
    if (fd_ < 0) return -1;
    if (ssl_ != nullptr) {
      const int got = SSL_read(ssl_, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
      if (got <= 0) {
        tlsFailed_ = SSL_get_error(ssl_, got) != SSL_ERROR_ZERO_RETURN;
        ERR_clear_error();
      }
      return got;
    }
    for (;;) {
      const ssize_t got = ::recv(fd_, data, size, 0);
      if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
  }

  bool Send(std::string_view bytes) override {
    if (fd_ < 0 || closed_) return false;
    while (!bytes.empty()) {
      const std::size_t chunk = std::min<std::size_t>(bytes.size(), INT_MAX);
      long sent = 0;
      if (ssl_ != nullptr) {
        sent = SSL_write(ssl_, bytes.data(), static_cast<int>(chunk));
        if (sent <= 0) {
          tlsFailed_ = true;
          ERR_clear_error();
          return false;
        }
      } else {
        sent = ::send(fd_, bytes.data(), chunk, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  void Close() override {
    if (fd_ < 0 || closed_) return;
    closed_ = true;
    if (ssl_ != nullptr && !tlsFailed_) {
      SSL_shutdown(ssl_);  // our close_notify; the peer's is not awaited
      ERR_clear_error();
    }
    ::shutdown(fd_, SHUT_WR);
  }

  void Reset() override {
    if (fd_ < 0) return;
    closed_ = true;
    sockets_.Close(fd_, /*reset=*/true);
    fd_ = -1;
  }

  bool Ended() const { return closed_; }

 private:
  void Finish() {
    if (fd_ < 0) return;
    if (closed_) Drain();
    sockets_.Close(fd_, /*reset=*/false);
    fd_ = -1;
  }

  // Reads and drops what the peer still sends until it closes too (or a short while
  // passes), since closing a socket with unread input sends a reset.
  void Drain() {
    const auto deadline = Clock::now() + kLinger;
    char scratch[4096];
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return;
      pollfd wait{fd_, POLLIN, 0};
      const int ready = ::poll(&wait, 1, static_cast<int>(left));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return;
      const ssize_t got = ::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) return;
    }
  }

  SocketRegistry& sockets_;
  int fd_;
  SSL* ssl_ = nullptr;
  bool closed_ = false;
  bool tlsFailed_ = false;
};

void DefaultHandler(const ReceivedRequest& request, Connection& connection) {
  if (request.method == "CONNECT") {
    SendResponse(request, connection, 403, "", {{"Connection", "close"}});
  } else {
    SendResponse(request, connection, 404, "Not Found\n", {{"Content-Type", "text/plain"}});
  }
}

const char* Base64Digit(unsigned value) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  return &kDigits[value & 63];
}

}  // namespace

struct TestServer::Impl {
  explicit Impl(TestServerOptions o) : options(o) {}

  ~Impl() {
    if (listenFd >= 0) ::close(listenFd);
    if (wakeRead >= 0) ::close(wakeRead);
    if (wakeWrite >= 0) ::close(wakeWrite);
    if (tls != nullptr) SSL_CTX_free(tls);
  }

  void Start() {
    IgnoreSigpipe();
    if (options.tls) tls = NewServerTlsContext(options.selfSigned);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) SystemFail("pipe2");
    wakeRead = wake[0];
    wakeWrite = wake[1];

    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0) SystemFail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      SystemFail("bind");
    }
    if (::listen(listenFd, 128) != 0) SystemFail("listen");
    if (::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      SystemFail("getsockname");
    }
    port = ntohs(address.sin_port);
    acceptor = std::thread([this] { AcceptLoop(); });
  }

  void Stop() {
    // Sockets first, so a handler woken from SleepFor finds its client gone.
    sockets.StopAll();
    {
      std::lock_guard lock(stop.mutex);
      stop.stopping = true;
    }
    stop.changed.notify_all();
    const char wake = 1;
    while (::write(wakeWrite, &wake, 1) < 0 && errno == EINTR) {
    }
    if (acceptor.joinable()) acceptor.join();
    for (Worker& worker : workers) worker.thread.join();
    workers.clear();
  }

  void AcceptLoop() {
    for (;;) {
      pollfd waits[2] = {{listenFd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
      if (::poll(waits, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (waits[1].revents != 0) return;
      const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        // Out of descriptors: give the running connections a moment to end.
        if (errno == EMFILE || errno == ENFILE) std::this_thread::sleep_for(Millis(10));
        continue;
      }
      if (!sockets.Add(fd)) return;
      const int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      {
        std::lock_guard lock(mutex);
        ++connections;
      }
      ReapFinishedWorkers();
      auto done = std::make_shared<std::atomic<bool>>(false);
      try {
        workers.push_back({std::thread([this, fd, done] {
                             Serve(fd);
                             done->store(true);
                           }),
                           done});
      } catch (const std::system_error&) {
        sockets.Close(fd, /*reset=*/true);
      }
    }
  }

  void ReapFinishedWorkers() {
    for (auto it = workers.begin(); it != workers.end();) {
      if (it->done->load()) {
        it->thread.join();
        it = workers.erase(it);
      } else {
        ++it;
      }
    }
  }

  void Serve(int fd) {
    tCurrentStop = &stop;
    try {
      ServeRequests(fd);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "test server: connection failed: %s\n", e.what());
    }
    tCurrentStop = nullptr;
  }

  void ServeRequests(int fd) {
    ServerConnection connection(sockets, fd);
    if (tls != nullptr && !connection.Handshake(tls)) return;
    RequestReader reader(
        [&connection](char* data, std::size_t size) { return connection.Read(data, size); });
    for (;;) {
      ReceivedRequest request;
      auto result = reader.ReadHead(request);
      if (result == RequestReader::Result::kOk) {
        if (request.version == "HTTP/1.1" && SameName(request.Header("Expect"), "100-continue") &&
            RequestReader::AnnouncesBody(request)) {
          connection.Send("HTTP/1.1 100 Continue\r\n\r\n");
        }
        result = reader.ReadBody(request);
      }
      if (result == RequestReader::Result::kEnd) return;
      if (result == RequestReader::Result::kBad) {
        const int status = reader.BadStatus();
        connection.Send("HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
                        "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        connection.Close();
        return;
      }

      Record(request);
      const Handler handler = Lookup(request);
      try {
        handler(request, connection);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "test server: handler for %s %s threw: %s\n", request.method.c_str(),
                     request.target.c_str(), e.what());
        connection.Close();
        return;
      }
      if (connection.Ended()) return;
      if (!options.keepAlive || !WantsKeepAlive(request)) {
        connection.Close();
        return;
      }
    }
  }

  void Record(const ReceivedRequest& request) {
    {
      std::lock_guard lock(mutex);
      requests.push_back(request);
    }
    recorded.notify_all();
  }

  Handler Lookup(const ReceivedRequest& request) {
    std::lock_guard lock(mutex);
    if (const auto route = routes.find(request.Path()); route != routes.end()) {
      return route->second;
    }
    return catchAll ? catchAll : Handler(DefaultHandler);
  }

  static std::chrono::milliseconds Millis(int count) { return std::chrono::milliseconds(count); }

  const TestServerOptions options;
  int listenFd = -1;
  int wakeRead = -1;
  int wakeWrite = -1;
  std::uint16_t port = 0;
  SSL_CTX* tls = nullptr;
  StopSignal stop;
  SocketRegistry sockets;

  mutable std::mutex mutex;  // guards the routes, the records and the count below
  mutable std::condition_variable recorded;
  std::map<std::string, Handler> routes;
  Handler catchAll;
  std::vector<ReceivedRequest> requests;
  std::size_t connections = 0;

  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::thread acceptor;
  std::list<Worker> workers;  // the acceptor's alone until it has been joined
};

TestServer::TestServer(TestServerOptions options) : impl_(std::make_unique<Impl>(options)) {
  impl_->Start();
}

TestServer::~TestServer() { impl_->Stop(); }

std::uint16_t TestServer::Port() const { return impl_->port; }

std::string TestServer::Origin() const {
  return (impl_->options.tls ? "https://" : "http://") + HostPort();
}

std::string TestServer::Url(std::string_view path) const { return Origin() + std::string(path); }

std::string TestServer::HostPort() const { return "127.0.0.1:" + std::to_string(Port()); }

void TestServer::Route(std::string path, Handler handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->routes[std::move(path)] = std::move(handler);
}

void TestServer::CatchAll(Handler handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->catchAll = std::move(handler);
}

void TestServer::Respond(std::string path, int status, std::string body,
                         std::vector<std::pair<std::string, std::string>> headers,
                         std::string reason) {
  Route(std::move(path),
        [status, body = std::move(body), headers = std::move(headers), reason = std::move(reason)](
            const ReceivedRequest& request, Connection& connection) {
          SendResponse(request, connection, status, body, headers, reason);
        });
}

void TestServer::Canned(std::string path, std::string rawResponse) {
  Route(std::move(path),
        [raw = std::move(rawResponse)](const ReceivedRequest&, Connection& connection) {
          connection.Send(raw);
          connection.Close();
        });
}

void TestServer::Redirect(std::string path, std::string location, int status) {
  Respond(std::move(path), status, "", {{"Location", std::move(location)}});
}

std::vector<ReceivedRequest> TestServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

std::size_t TestServer::RequestCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests.size();
}

bool TestServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->recorded.wait_for(lock, timeout, [&] { return impl_->requests.size() >= count; });
}

ReceivedRequest TestServer::LastRequest() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests.empty() ? ReceivedRequest{} : impl_->requests.back();
}

void TestServer::ClearRequests() {
  std::lock_guard lock(impl_->mutex);
  impl_->requests.clear();
}

std::size_t TestServer::ConnectionCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->connections;
}

std::string ReasonPhrase(int status) {
  static const std::map<int, const char*> kPhrases = {
      {100, "Continue"},
      {101, "Switching Protocols"},
      {200, "OK"},
      {201, "Created"},
      {202, "Accepted"},
      {203, "Non-Authoritative Information"},
      {204, "No Content"},
      {205, "Reset Content"},
      {206, "Partial Content"},
      {300, "Multiple Choices"},
      {301, "Moved Permanently"},
      {302, "Found"},
      {303, "See Other"},
      {304, "Not Modified"},
      {305, "Use Proxy"},
      {307, "Temporary Redirect"},
      {308, "Permanent Redirect"},
      {400, "Bad Request"},
      {401, "Unauthorized"},
      {402, "Payment Required"},
      {403, "Forbidden"},
      {404, "Not Found"},
      {405, "Method Not Allowed"},
      {406, "Not Acceptable"},
      {407, "Proxy Authentication Required"},
      {408, "Request Timeout"},
      {409, "Conflict"},
      {410, "Gone"},
      {411, "Length Required"},
      {412, "Precondition Failed"},
      {413, "Content Too Large"},
      {414, "URI Too Long"},
      {415, "Unsupported Media Type"},
      {416, "Range Not Satisfiable"},
      {417, "Expectation Failed"},
      {421, "Misdirected Request"},
      {422, "Unprocessable Content"},
      {426, "Upgrade Required"},
      {428, "Precondition Required"},
      {429, "Too Many Requests"},
      {431, "Request Header Fields Too Large"},
      {500, "Internal Server Error"},
      {501, "Not Implemented"},
      {502, "Bad Gateway"},
      {503, "Service Unavailable"},
      {504, "Gateway Timeout"},
      {505, "HTTP Version Not Supported"},
  };
  const auto found = kPhrases.find(status);
  return found != kPhrases.end() ? found->second : "Unknown";
}

void SendResponse(const ReceivedRequest& request, Connection& connection, int status,
                  std::string_view body,
                  const std::vector<std::pair<std::string, std::string>>& headers,
                  std::string_view reason) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " +
                    (reason.empty() ? ReasonPhrase(status) : std::string(reason)) + "\r\n";
  bool framed = false;
  for (const auto& [name, value] : headers) {
    out += name + ": " + value + "\r\n";
    framed = framed || SameName(name, "Content-Length") || SameName(name, "Transfer-Encoding");
  }
  const bool bodiless = (status >= 100 && status < 200) || status == 204 || status == 304;
  if (!framed && !(bodiless && body.empty())) {
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  out += "\r\n";
  if (request.method != "HEAD") out += body;
  connection.Send(out);
  if (ConnectionHeaderHas(headers, "close")) connection.Close();
}

std::string TestCaCertificateFile() { return AuthorityPemFile(); }

std::unique_ptr<TestServer> MakeUntrustedTlsServer() {
  return std::make_unique<TestServer>(TestServerOptions{.tls = true, .selfSigned = true});
}

std::uint16_t RefusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) SystemFail("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  ::close(fd);
  if (!ok) SystemFail("bind");
  return ntohs(address.sin_port);
}

void SleepFor(std::chrono::milliseconds duration) {
  StopSignal* const stop = tCurrentStop;
  if (stop == nullptr) {
    std::this_thread::sleep_for(duration);
    return;
  }
  std::unique_lock lock(stop->mutex);
  stop->changed.wait_for(lock, duration, [stop] { return stop->stopping; });
}

std::string BasicAuthorization(std::string_view user, std::string_view password) {
  std::string plain;
  plain.reserve(user.size() + 1 + password.size());
  plain.append(user).append(":").append(password);
  std::string out = "Basic ";
  std::size_t i = 0;
  for (; i + 3 <= plain.size(); i += 3) {
    const unsigned bits = static_cast<unsigned char>(plain[i]) << 16 |
                          static_cast<unsigned char>(plain[i + 1]) << 8 |
                          static_cast<unsigned char>(plain[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += *Base64Digit(bits >> shift);
  }
  const std::size_t rest = plain.size() - i;
  if (rest > 0) {
    unsigned bits = static_cast<unsigned char>(plain[i]) << 16;
    if (rest == 2) bits |= static_cast<unsigned char>(plain[i + 1]) << 8;
    out += *Base64Digit(bits >> 18);
    out += *Base64Digit(bits >> 12);
    out += rest == 2 ? *Base64Digit(bits >> 6) : '=';
    out += '=';
  }
  return out;
}

}  // namespace velinor::test
