// The bytes write_file_bytes_child writes, so a test can tell a part of them.
#pragma once

#include <cstddef>

#include "text/text.h"

namespace velinor::test {

inline ByteBuffer ChildPattern(std::size_t size) {
  ByteBuffer bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 4093);
  return bytes;
}

}  // namespace velinor::test
