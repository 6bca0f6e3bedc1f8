// UTF-8 decoding as the WHATWG Encoding Standard does it (and ICU too): one
// U+FFFD for each maximal invalid subpart, an invalid byte never swallowed.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "text/text.h"

namespace velinor {

std::u16string DecodeUtf8(std::span<const std::uint8_t> bytes);

// The same bytes straight into code page 936, without the UTF-16 text in
// between; the result is always Utf16ToAnsi(DecodeUtf8(bytes)): it ends at
// the first U+0000, composes a character with the marks after it where a
// precomposed form exists, and gives "?" for what code page 936 lacks.
TextValue DecodeUtf8ToAnsi(std::span<const std::uint8_t> bytes);

}  // namespace velinor
