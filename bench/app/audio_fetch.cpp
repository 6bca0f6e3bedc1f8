// The download's audio step as one process: HttpGetFile, then WriteFileBytes
// of what arrived, as the download command does after it found the address.
//
//   velinor-audio-fetch <url> <output file>
//
// Exits 0 when the whole body arrived and was written, 1 otherwise.
#include <cstdio>

#include "app/http_get_file.h"
#include "app/output_file.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <url> <output file>\n", argv[0]);
    return 2;
  }
  velinor::HttpGetFileOutcome outcome;
  const velinor::ByteBuffer audio = velinor::HttpGetFile(argv[1], &outcome);
  if (!outcome.complete || outcome.status != 200) {
    std::fprintf(stderr, "transfer failed: status %ld, %zu bytes\n", outcome.status, audio.size());
    return 1;
  }
  if (!velinor::WriteFileBytes(argv[2], audio)) {
    std::fprintf(stderr, "could not write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
