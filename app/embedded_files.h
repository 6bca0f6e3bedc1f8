// The files of resources/ compiled into the program, so that it shows its
// images wherever its program file is put.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace velinor {

// The bytes of the embedded file of that name ("logo.png"); empty when there
// is no such file. Defined by a source file generated at build time.
std::span<const std::uint8_t> EmbeddedFile(std::string_view name);

}  // namespace velinor
