// Code page 936 <-> UTF-16 lookup tables, so that converting a text is a
// table walk instead of ICU calls. The tables are constant data written at
// build time from ICU's "windows-936" converter: using them costs nothing at
// start.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct UNormalizer2;

namespace velinor::cp936 {

enum class ByteKind : std::uint8_t { kSingle, kLead, kInvalid };

// The lead bytes that have a row in `Tables::pairs`; the table generator
// refuses an ICU whose lead bytes lie outside them.
inline constexpr unsigned kFirstLead = 0x81;
inline constexpr unsigned kLastLead = 0xFE;
inline constexpr std::size_t kPairCount = (kLastLead - kFirstLead + 1) * 256;

// The NFC composer, looked up on first use: only texts with combining marks
// need it.
const UNormalizer2* Composer();

// Stands for `Composer()` where a caller holds the composer as a pointer, so
// that the tables themselves need no run-time set-up.
struct ComposerRef {
  operator const UNormalizer2*() const { return Composer(); }
};

struct Tables {
  // Decoding: what a first byte is, the unit of a one-byte character, and the
  // unit of each two-byte character (0: not valid), see Pair().
  std::array<ByteKind, 256> kind;
  std::array<char16_t, 256> single;
  std::span<const char16_t, kPairCount> pairs;
  // ASCII maps to itself both ways, which lets the SIMD paths copy it.
  bool asciiIsIdentity;

  // Encoding: for each BMP code point 0 (no form), a byte value below 0x100,
  // or lead * 256 + second.
  std::span<const std::uint16_t, 0x10000> encode;
  // Combining marks, which may compose with the character before them.
  std::span<const std::uint64_t, 0x10000 / 64> markBits;
  ComposerRef composer;

  // `lead` must be a byte of kind kLead.
  char16_t Pair(unsigned char lead, unsigned char second) const {
    return pairs[(lead - kFirstLead) * 256u + second];
  }
  bool IsMark(char16_t unit) const { return (markBits[unit >> 6] >> (unit & 63)) & 1u; }
};

namespace detail {
// Defined in the source file the table generator writes.
extern const Tables kTables;
}  // namespace detail

inline const Tables& GetTables() { return detail::kTables; }

// ICU's own conversion of a whole text, with its default substitution for
// byte sequences that are not valid code page 936.
std::u16string DecodeWithIcu(std::string_view text);

}  // namespace velinor::cp936
