// A process that writes one large file through WriteFileBytes, for the tests
// that kill a write half-way: write_file_bytes_child <path> <bytes>.
// The bytes follow ChildPattern; exits 0 when the write succeeded, 1 when not.
#include <cstdlib>

#include "app/output_file.h"
#include "tests/faults/child_pattern.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::size_t size = std::strtoull(argv[2], nullptr, 10);
  return velinor::WriteFileBytes(argv[1], velinor::test::ChildPattern(size)) ? 0 : 1;
}
