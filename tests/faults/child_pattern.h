// The bytes write_file_bytes_child writes, so a test can tell a part of them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "text/text.h"

namespace velinor::test {

// A block of a prime length repeated, so no two neighbouring pages of the
// file are alike; copied rather than computed byte by byte, which would be
// slow in the sanitizer build.
inline ByteBuffer ChildPattern(std::size_t size) {
  constexpr std::size_t kBlock = 4093;
  ByteBuffer bytes(size);
  for (std::size_t i = 0; i < std::min(size, kBlock); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
  }
  for (std::size_t done = kBlock; done < size; done *= 2) {
    std::memcpy(bytes.data() + done, bytes.data(), std::min(done, size - done));
  }
  return bytes;
}

}  // namespace velinor::test
