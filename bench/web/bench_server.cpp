// Serves bodies of a requested size on 127.0.0.1 for the whole-process
// comparison: GET /body/<bytes> answers 200 with that many bytes (printable,
// no zero byte, no charset declaration). Prints its origin, then serves until
// its standard input closes or ten minutes have passed.
#include <poll.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "tests/support/test_server.h"

namespace {

std::shared_ptr<const std::string> Response(std::size_t bytes) {
  static std::mutex mutex;
  static std::map<std::size_t, std::shared_ptr<const std::string>> cache;
  std::lock_guard lock(mutex);
  auto& cached = cache[bytes];
  if (!cached) {
    auto response = std::make_shared<std::string>(
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
        std::to_string(bytes) + "\r\n\r\n");
    response->reserve(response->size() + bytes);
    for (std::size_t i = 0; i < bytes; ++i) response->push_back(static_cast<char>('a' + i % 26));
    cached = std::move(response);
  }
  return cached;
}

}  // namespace

int main() {
  velinor::test::TestServer server;
  server.CatchAll(
      [](const velinor::test::ReceivedRequest& request, velinor::test::Connection& connection) {
        const std::string path = request.Path();
        constexpr std::string_view kPrefix = "/body/";
        std::size_t bytes = 0;
        if (path.rfind(kPrefix, 0) != 0 ||
            std::from_chars(path.data() + kPrefix.size(), path.data() + path.size(), bytes).ec !=
                std::errc()) {
          velinor::test::SendResponse(request, connection, 404, "use /body/<bytes>\n");
          return;
        }
        connection.Send(*Response(bytes));
      });
  std::printf("%s\n", server.Origin().c_str());
  std::fflush(stdout);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  char scratch[256];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (::poll(&input, 1, 1000) > 0 && ::read(STDIN_FILENO, scratch, sizeof scratch) <= 0) break;
  }
  return 0;
}
