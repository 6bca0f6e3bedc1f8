// Code page 936 <-> UTF-16 lookup tables, read once from ICU's "windows-936"
// converter, so that converting a text is a table walk instead of ICU calls.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct UNormalizer2;

namespace velinor::cp936 {

enum class ByteKind : std::uint8_t { kSingle, kLead, kInvalid };

struct Tables {
  // Decoding: what a first byte is, the unit of a one-byte character, and the
  // unit of each two-byte character at [lead * 256 + second] (0: not valid).
  std::array<ByteKind, 256> kind{};
  std::array<char16_t, 256> single{};
  std::vector<char16_t> pairs;
  // ASCII maps to itself both ways, which lets the SIMD paths copy it.
  bool asciiIsIdentity = false;

  // Encoding: for each BMP code point 0 (no form), a byte value below 0x100,
  // or lead * 256 + second.
  std::vector<std::uint16_t> encode;
  // Combining marks, which may compose with the character before them.
  std::vector<std::uint64_t> markBits;
  const UNormalizer2* composer = nullptr;

  bool IsMark(char16_t unit) const { return (markBits[unit >> 6] >> (unit & 63)) & 1u; }
};

// Built on first use; safe to call from any thread.
const Tables& GetTables();

// ICU's own conversion of a whole text, with its default substitution for
// byte sequences that are not valid code page 936.
std::u16string DecodeWithIcu(std::string_view text);

}  // namespace velinor::cp936
