// Fetches one address through WebRequest, asking for the raw bytes as well,
// and prints the byte count, the status, the wall time and the peak resident
// memory of the process.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "text/encoding.h"
#include "web/web_request.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <url>\n", argv[0]);
    return 2;
  }
  velinor::ByteBuffer bytes;
  velinor::TextValue status;
  const auto start = std::chrono::steady_clock::now();
  const velinor::TextValue text =
      velinor::WebRequest(argv[1], {.statusText = &status, .responseBytes = &bytes});
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("bytes=%zu text=%zu status=%s seconds=%.6f peak_kib=%ld\n", bytes.size(), text.size(),
              velinor::AnsiToUtf8(status).c_str(), elapsed.count(), usage.ru_maxrss);
  return status.rfind("200", 0) == 0 ? 0 : 1;
}
