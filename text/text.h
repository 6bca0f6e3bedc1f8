// Text, byte-buffer and list primitives over code-page-936 text.
//
// A TextValue holds code-page-936 bytes and never a zero byte of its own; a
// ByteBuffer holds any bytes; a TextArray is a list of texts indexed from 1
// by the routines that take an index. Positions and counts are bytes, a
// failed search gives -1, and no primitive fails: out-of-range positions and
// counts give empty or clamped results.
//
// Searching, replacing, splitting and space removal walk the text by the
// lead-byte rule: a byte 0x80-0xFF starts a two-byte character and the byte
// after it belongs to that character, whatever its value.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velinor {

using TextValue = std::string;
using ByteBuffer = std::vector<std::uint8_t>;
using TextArray = std::vector<TextValue>;

// --- texts -----------------------------------------------------------------

// 1-based byte position of the first occurrence of `sought` at or after
// `start`, or -1. Note the flag: true means case-insensitive (ASCII only).
int FindText(std::string_view text, std::string_view sought, int start = 1,
             bool caseInsensitive = false);

TextValue TextLeft(std::string_view text, int n);
TextValue TextRight(std::string_view text, int n);
// "" when start < 1 (unlike BytesMid, which clamps).
TextValue TextMid(std::string_view text, int start, int n);
int TextLength(std::string_view text);

// Replaces occurrences from `start` on, at most `count` of them (negative:
// all). Note the flag: true means case-sensitive, the opposite of FindText.
TextValue ReplaceText(std::string_view text, std::string_view sought,
                      std::string_view replacement = {}, int start = 1, int count = -1,
                      bool caseSensitive = false);

// A trailing delimiter gives no empty last piece; a given negative maximum
// counts as 0, an omitted one as unlimited.
TextArray SplitText(std::string_view text, std::string_view delimiter = ",",
                    std::optional<int> maximum = std::nullopt);

// Spaces are 0x20 and the full-width space 0xA1 0xA1 only.
TextValue TrimBoth(std::string_view text);
TextValue RemoveSpaces(std::string_view text);

// Negative, 0 or positive. Note the flag: true means case-sensitive.
int CompareText(std::string_view a, std::string_view b, bool caseSensitive = false);
// -1, 0 or 1, comparing unsigned bytes.
int CompareExact(std::string_view a, std::string_view b);

// Reads a leading decimal number (full-width forms folded, d/D exponents
// allowed) and rounds it to a 32-bit float; 0 when there is none.
float ToNumber(std::string_view text);

// Joins any number of texts; the pieces may be std::string, string_view or literals.
TextValue ConcatText(std::initializer_list<std::string_view> pieces);
template <typename... Pieces>
TextValue ConcatText(const Pieces&... pieces) {
  return ConcatText({std::string_view(pieces)...});
}

// --- byte buffers ----------------------------------------------------------

ByteBuffer TextToBytes(std::string_view text);
// The bytes before the first zero byte.
TextValue BytesToText(std::span<const std::uint8_t> bytes);
ByteBuffer BytesLeft(std::span<const std::uint8_t> bytes, int n);
// Clamps a start below 1 to the first byte (unlike TextMid).
ByteBuffer BytesMid(std::span<const std::uint8_t> bytes, int start, int n);
int BytesLength(std::span<const std::uint8_t> bytes);
ByteBuffer BlankBytes(int n);
ByteBuffer PointerToBytes(const void* address, int n);
ByteBuffer ConcatBytes(std::initializer_list<std::span<const std::uint8_t>> pieces);
template <typename... Pieces>
ByteBuffer ConcatBytes(const Pieces&... pieces) {
  return ConcatBytes({std::span<const std::uint8_t>(pieces)...});
}

constexpr std::int32_t BitOr(std::int32_t a, std::int32_t b, auto... rest) {
  std::int32_t result = a | b;
  ((result |= static_cast<std::int32_t>(rest)), ...);
  return result;
}

// --- text arrays -----------------------------------------------------------

int ArrayCount(const TextArray& array);
std::span<const TextValue> ArrayElements(const TextArray& array);
void ArrayAppend(TextArray& array, std::string_view text);

// --- event pump ------------------------------------------------------------

// Lets pending window events run to completion, never waiting for one. The
// application installs its pump; without one this does nothing.
void ProcessEvents();
// Installs `pump` and returns the previous one (empty to uninstall).
std::function<void()> SetProcessEventsHook(std::function<void()> pump);

}  // namespace velinor
