#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

#include "text/cp936_scan.h"

namespace velinor {
namespace {

using cp936::IsLeadByte;
using cp936::kNone;

constexpr char kFullWidthSpaceByte = '\xA1';

// 0-based offset of a 1-based start position; positions below 1 mean the first byte.
std::size_t BeginOffset(int start) { return start <= 1 ? 0 : static_cast<std::size_t>(start) - 1; }

int ToInt(std::size_t n) { return static_cast<int>(std::min<std::size_t>(n, INT32_MAX)); }

bool IsFullWidthSpaceAt(std::string_view text, std::size_t pos) {
  return pos + 1 < text.size() && text[pos] == kFullWidthSpaceByte &&
         text[pos + 1] == kFullWidthSpaceByte;
}

}  // namespace

// --- texts -----------------------------------------------------------------

int FindText(std::string_view text, std::string_view sought, int start, bool caseInsensitive) {
  std::size_t grid = BeginOffset(start);
  if (grid >= text.size()) return -1;
  // An empty needle is found at position 1, whatever the start.
  if (sought.empty()) return 1;
  const cp936::ByteMatcher matcher(text, sought, caseInsensitive);
  const std::size_t p = cp936::NextOnGrid(matcher, text, grid);
  return p == kNone ? -1 : ToInt(p + 1);
}

TextValue TextLeft(std::string_view text, int n) {
  if (n <= 0) return {};
  return TextValue(text.substr(0, static_cast<std::size_t>(n)));
}

TextValue TextRight(std::string_view text, int n) {
  if (n <= 0) return {};
  const std::size_t count = std::min(static_cast<std::size_t>(n), text.size());
  return TextValue(text.substr(text.size() - count));
}

TextValue TextMid(std::string_view text, int start, int n) {
  if (start < 1 || static_cast<std::size_t>(start) > text.size() || n <= 0) return {};
  return TextValue(text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

int TextLength(std::string_view text) { return ToInt(text.size()); }

TextValue ReplaceText(std::string_view text, std::string_view sought, std::string_view replacement,
                      int start, int count, bool caseSensitive) {
  const std::size_t begin = BeginOffset(start);
  if (text.empty() || sought.empty() || begin >= text.size() || count == 0) {
    return TextValue(text);
  }
  const cp936::ByteMatcher matcher(text, sought, !caseSensitive);
  TextValue result;
  result.reserve(text.size());
  std::size_t copied = 0;  // text[0, copied) is in the result
  std::size_t grid = begin;
  int remaining = count;
  while (remaining != 0) {
    const std::size_t p = cp936::NextOnGrid(matcher, text, grid);
    if (p == kNone) break;
    result.append(text.substr(copied, p - copied));
    result.append(replacement);
    copied = grid = p + sought.size();
    if (remaining > 0) --remaining;
  }
  std::size_t end = text.size();
  // A one-byte needle lets the scan reach a lone lead byte at the very end,
  // which the scan drops; a longer one stops before it and copies it.
  if (remaining != 0 && sought.size() == 1 && grid < end && IsLeadByte(text[end - 1]) &&
      cp936::OnGrid(text, grid, end - 1)) {
    --end;
  }
  result.append(text.substr(copied, end - copied));
  return result;
}

TextArray SplitText(std::string_view text, std::string_view delimiter, std::optional<int> maximum) {
  TextArray pieces;
  if (text.empty() || (maximum && *maximum <= 0)) return pieces;
  if (delimiter.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  const cp936::ByteMatcher matcher(text, delimiter, false);
  std::size_t pieceStart = 0;
  std::size_t grid = 0;
  for (;;) {
    const std::size_t p = cp936::NextOnGrid(matcher, text, grid);
    if (p == kNone) break;
    pieces.emplace_back(text.substr(pieceStart, p - pieceStart));
    pieceStart = grid = p + delimiter.size();
    // Reaching the maximum drops the rest of the text.
    if (maximum && --*maximum == 0) return pieces;
  }
  if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

TextValue TrimBoth(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    if (text[begin] == ' ') {
      ++begin;
    } else if (IsFullWidthSpaceAt(text, begin)) {
      begin += 2;
    } else {
      break;
    }
  }
  if (begin == text.size()) return {};

  // A trailing run of spaces consists of 0x20 and 0xA1 bytes only, so the walk
  // by characters can start at the last grid point before that byte suffix.
  std::size_t suffix = text.size();
  while (suffix > begin && (text[suffix - 1] == ' ' || text[suffix - 1] == kFullWidthSpaceByte)) {
    --suffix;
  }
  std::size_t pos = suffix;
  while (pos > begin && IsLeadByte(text[pos - 1])) --pos;
  std::size_t runStart = kNone;
  while (pos < text.size()) {
    if (IsLeadByte(text[pos])) {
      // A lone lead byte at the end is removed; the spaces before it stay.
      if (pos + 1 == text.size()) return TextValue(text.substr(begin, pos - begin));
      const bool space = IsFullWidthSpaceAt(text, pos);
      if (!space) {
        runStart = kNone;
      } else if (runStart == kNone) {
        runStart = pos;
      }
      pos += 2;
    } else {
      if (text[pos] != ' ') {
        runStart = kNone;
      } else if (runStart == kNone) {
        runStart = pos;
      }
      ++pos;
    }
  }
  const std::size_t end = runStart == kNone ? text.size() : runStart;
  return TextValue(text.substr(begin, end - begin));
}

TextValue RemoveSpaces(std::string_view text) {
  TextValue result;
  result.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Copy the run of one-byte characters up to the next space or lead byte.
    std::size_t runEnd = pos;
    while (runEnd < text.size() && text[runEnd] != ' ' && !IsLeadByte(text[runEnd])) ++runEnd;
    result.append(text.substr(pos, runEnd - pos));
    pos = runEnd;
    if (pos == text.size()) break;
    if (text[pos] == ' ') {
      ++pos;
    } else if (pos + 1 == text.size()) {
      break;  // a lone lead byte at the end is dropped
    } else {
      if (!IsFullWidthSpaceAt(text, pos)) result.append(text.substr(pos, 2));
      pos += 2;
    }
  }
  return result;
}

int CompareText(std::string_view a, std::string_view b, bool caseSensitive) {
  std::size_t i = 0;
  for (;;) {
    const int ca = i < a.size() ? static_cast<unsigned char>(a[i]) : -1;
    const int cb = i < b.size() ? static_cast<unsigned char>(b[i]) : -1;
    if (ca < 0 || cb < 0) return ca == cb ? 0 : (ca < 0 ? -1 : 1);
    if (ca >= 0x80 || cb >= 0x80) {
      // Two-byte characters compare as unfolded units: lead byte, then second byte.
      if (ca != cb) return ca - cb;
      ++i;
      const int ta = i < a.size() ? static_cast<unsigned char>(a[i]) : -1;
      const int tb = i < b.size() ? static_cast<unsigned char>(b[i]) : -1;
      if (ta != tb) return ta < tb ? -1 : 1;
      if (ta < 0) return 0;
      ++i;
      continue;
    }
    const int fa = caseSensitive ? ca : static_cast<unsigned char>(cp936::FoldAscii(a[i]));
    const int fb = caseSensitive ? cb : static_cast<unsigned char>(cp936::FoldAscii(b[i]));
    if (fa != fb) return fa - fb;
    ++i;
  }
}

int CompareExact(std::string_view a, std::string_view b) {
  const int order = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (order != 0) return order < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

namespace {

bool IsNumberByte(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E' ||
         c == 'd' || c == 'D' || c == ' ' || (c >= '\t' && c <= '\r');
}

// The full-width forms fold to ASCII; only a prefix that can still belong to
// the number is folded, since reading stops at the first other character.
std::string FoldNumberPrefix(std::string_view text) {
  std::string folded;
  std::size_t pos = 0;
  while (pos < text.size()) {
    char c = text[pos];
    if (IsLeadByte(c)) {
      if (pos + 1 == text.size()) break;  // a lone lead byte is dropped
      const auto lead = static_cast<unsigned char>(c);
      const auto second = static_cast<unsigned char>(text[pos + 1]);
      if (lead == 0xA3 && second >= 0xA1 && second <= 0xFE) {
        c = static_cast<char>(second & 0x7F);
      } else if (lead == 0xA1 && second == 0xA1) {
        c = ' ';
      } else {
        break;  // '~', '*' and every other character end the number
      }
      pos += 2;
    } else {
      ++pos;
    }
    if (!IsNumberByte(c)) break;
    folded.push_back(c);
  }
  return folded;
}

}  // namespace

float ToNumber(std::string_view text) {
  const std::string folded = FoldNumberPrefix(text);
  std::size_t pos = 0;
  while (pos < folded.size() &&
         (folded[pos] == ' ' || (folded[pos] >= '\t' && folded[pos] <= '\r'))) {
    ++pos;
  }
  // The longest prefix [sign] digits [. digits] [(e|E|d|D) [sign] digits],
  // rewritten for from_chars, which takes no '+' and no 'd'.
  std::string number;
  bool negative = false;
  if (pos < folded.size() && (folded[pos] == '+' || folded[pos] == '-')) {
    negative = folded[pos] == '-';
    ++pos;
  }
  bool anyDigit = false;
  bool point = false;
  // Decimal exponent of the first non-zero digit, counted before any exponent part.
  std::int64_t magnitude = 0;
  bool nonZeroSeen = false;
  std::int64_t integerDigits = 0;
  std::int64_t leadingFractionZeros = 0;
  for (; pos < folded.size(); ++pos) {
    const char c = folded[pos];
    if (c >= '0' && c <= '9') {
      anyDigit = true;
      if (c != '0' && !nonZeroSeen) {
        nonZeroSeen = true;
        magnitude = point ? -leadingFractionZeros - 1 : 0;
      }
      if (!point && nonZeroSeen) ++integerDigits;
      if (point && !nonZeroSeen) ++leadingFractionZeros;
      number.push_back(c);
    } else if (c == '.' && !point) {
      point = true;
      number.push_back(c);
    } else {
      break;
    }
  }
  if (!anyDigit) return 0.0f;
  if (integerDigits > 0) magnitude = integerDigits - 1;

  std::int64_t exponent = 0;
  if (pos < folded.size() &&
      (folded[pos] == 'e' || folded[pos] == 'E' || folded[pos] == 'd' || folded[pos] == 'D')) {
    std::size_t e = pos + 1;
    bool negativeExponent = false;
    if (e < folded.size() && (folded[e] == '+' || folded[e] == '-')) {
      negativeExponent = folded[e] == '-';
      ++e;
    }
    std::string digits;
    for (; e < folded.size() && folded[e] >= '0' && folded[e] <= '9'; ++e) {
      digits.push_back(folded[e]);
      // Saturate: anything this large is out of range either way.
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (folded[e] - '0');
    }
    if (!digits.empty()) {
      number.push_back('e');
      if (negativeExponent) number.push_back('-');
      number.append(digits);
      if (negativeExponent) exponent = -exponent;
    }
  }

  float value = 0.0f;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                            std::chars_format::general);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    // Too large rounds to infinity, too small to zero.
    value = magnitude + exponent > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
  } else if (error != std::errc()) {
    value = 0.0f;
  }
  return negative ? -value : value;
}

// --- byte buffers ----------------------------------------------------------

TextValue ConcatText(std::initializer_list<std::string_view> pieces) {
  std::size_t total = 0;
  for (const std::string_view piece : pieces) total += piece.size();
  TextValue result;
  result.reserve(total);
  for (const std::string_view piece : pieces) result.append(piece);
  return result;
}

ByteBuffer TextToBytes(std::string_view text) { return ByteBuffer(text.begin(), text.end()); }

TextValue BytesToText(std::span<const std::uint8_t> bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return TextValue(bytes.begin(), end);
}

ByteBuffer BytesLeft(std::span<const std::uint8_t> bytes, int n) {
  if (n <= 0) return {};
  return ByteBuffer(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                       static_cast<std::size_t>(n), bytes.size())));
}

ByteBuffer BytesMid(std::span<const std::uint8_t> bytes, int start, int n) {
  const std::size_t begin = std::min(BeginOffset(start), bytes.size());
  if (n <= 0) return {};
  const std::size_t count = std::min(static_cast<std::size_t>(n), bytes.size() - begin);
  const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(begin);
  return ByteBuffer(first, first + static_cast<std::ptrdiff_t>(count));
}

int BytesLength(std::span<const std::uint8_t> bytes) { return ToInt(bytes.size()); }

ByteBuffer BlankBytes(int n) {
  if (n <= 0) return {};
  return ByteBuffer(static_cast<std::size_t>(n), 0);
}

ByteBuffer PointerToBytes(const void* address, int n) {
  if (address == nullptr || n <= 0) return {};
  const auto* first = static_cast<const std::uint8_t*>(address);
  return ByteBuffer(first, first + n);
}

ByteBuffer ConcatBytes(std::initializer_list<std::span<const std::uint8_t>> pieces) {
  std::size_t total = 0;
  for (const auto piece : pieces) total += piece.size();
  ByteBuffer result;
  result.reserve(total);
  for (const auto piece : pieces) result.insert(result.end(), piece.begin(), piece.end());
  return result;
}

// --- text arrays -----------------------------------------------------------

int ArrayCount(const TextArray& array) { return ToInt(array.size()); }

std::span<const TextValue> ArrayElements(const TextArray& array) { return array; }

void ArrayAppend(TextArray& array, std::string_view text) { array.emplace_back(text); }

}  // namespace velinor
