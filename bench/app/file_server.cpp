// Serves one file to every GET on 127.0.0.1, straight from the page cache
// with sendfile, so that the clients compared are what is measured. One
// connection at a time, closed after each answer.
//
//   velinor-file-server <file>
//
// Prints the port, then serves until its standard input closes or ten
// minutes have passed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// Reads the request head up to its empty line; false when the client left.
bool ReadHead(int client) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    const ssize_t got = read(client, buffer, sizeof buffer);
    if (got <= 0) return false;
    head.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

void Serve(int client, int file, off_t size) {
  if (!ReadHead(client)) return;
  const std::string head =
      "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: " + std::to_string(size) +
      "\r\nConnection: close\r\n\r\n";
  if (write(client, head.data(), head.size()) != static_cast<ssize_t>(head.size())) return;
  off_t offset = 0;
  while (offset < size) {
    if (sendfile(client, file, &offset, static_cast<std::size_t>(size - offset)) <= 0) return;
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <file>\n", argv[0]);
    return 2;
  }
  const int file = open(argv[1], O_RDONLY);
  struct stat info {};
  if (file < 0 || fstat(file, &info) != 0) {
    std::perror(argv[1]);
    return 1;
  }

  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 8) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("listen");
    return 1;
  }
  std::printf("%d\n", ntohs(address.sin_port));
  std::fflush(stdout);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd watched[2] = {{listener, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    if (poll(watched, 2, 1000) <= 0) continue;
    char scratch[64];
    if ((watched[1].revents & (POLLIN | POLLHUP)) &&
        read(STDIN_FILENO, scratch, sizeof scratch) <= 0)
      break;
    if (watched[0].revents & POLLIN) {
      const int client = accept(listener, nullptr, nullptr);
      if (client < 0) continue;
      Serve(client, file, info.st_size);
      close(client);
    }
  }
  close(listener);
  close(file);
  return 0;
}
