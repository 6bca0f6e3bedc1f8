#include "text/cp936_scan.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velinor::cp936 {
namespace {

// OR-ing 0x20 into an ASCII letter gives its lower-case form, and only the two
// cases of that letter give it; every other byte is compared as it is.
void CompareMask(char c, bool ignoreCase, unsigned char& orMask, unsigned char& value) {
  const char folded = FoldAscii(c);
  if (ignoreCase && folded >= 'a' && folded <= 'z') {
    orMask = 0x20;
    value = static_cast<unsigned char>(folded);
  } else {
    orMask = 0;
    value = static_cast<unsigned char>(c);
  }
}

}  // namespace

ByteMatcher::ByteMatcher(std::string_view haystack, std::string_view needle, bool ignoreCase)
    : haystack_(haystack), needle_(needle), ignoreCase_(ignoreCase) {
  if (needle.empty()) return;
  if (ignoreCase) {
    foldedNeedle_.resize(needle.size());
    for (std::size_t i = 0; i < needle.size(); ++i) foldedNeedle_[i] = FoldAscii(needle[i]);
  }
  CompareMask(needle.front(), ignoreCase, firstOr_, firstValue_);
  CompareMask(needle.back(), ignoreCase, lastOr_, lastValue_);
}

bool ByteMatcher::MatchesAt(std::size_t offset) const {
  const char* at = haystack_.data() + offset;
  if (!ignoreCase_) return std::memcmp(at, needle_.data(), needle_.size()) == 0;
  for (std::size_t i = 0; i < foldedNeedle_.size(); ++i) {
    if (FoldAscii(at[i]) != foldedNeedle_[i]) return false;
  }
  return true;
}

std::size_t ByteMatcher::Next(std::size_t from) const {
  const std::size_t n = needle_.size();
  const std::size_t length = haystack_.size();
  if (n == 0 || from > length || length - from < n) return kNone;
  const std::size_t lastStart = length - n;
  const char* data = haystack_.data();
  std::size_t i = from;

#if defined(__SSE2__)
  // Tests the first and the last needle byte at 16 starts at once; only starts
  // where both fit are verified in full.
  const __m128i firstOr = _mm_set1_epi8(static_cast<char>(firstOr_));
  const __m128i firstValue = _mm_set1_epi8(static_cast<char>(firstValue_));
  const __m128i lastOr = _mm_set1_epi8(static_cast<char>(lastOr_));
  const __m128i lastValue = _mm_set1_epi8(static_cast<char>(lastValue_));
  while (i <= lastStart && lastStart - i >= 15) {
    const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + n - 1));
    const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(head, firstOr), firstValue),
                                       _mm_cmpeq_epi8(_mm_or_si128(tail, lastOr), lastValue));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(both));
    while (mask != 0) {
      const std::size_t candidate = i + static_cast<std::size_t>(__builtin_ctz(mask));
      if (MatchesAt(candidate)) return candidate;
      mask &= mask - 1;
    }
    i += 16;
  }
#else
  if (!ignoreCase_) {
    while (i <= lastStart) {
      const void* hit = std::memchr(data + i, needle_.front(), lastStart - i + 1);
      if (hit == nullptr) return kNone;
      i = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
      if (MatchesAt(i)) return i;
      ++i;
    }
    return kNone;
  }
#endif

  for (; i <= lastStart; ++i) {
    if (MatchesAt(i)) return i;
  }
  return kNone;
}

bool OnGrid(std::string_view text, std::size_t gridPos, std::size_t p) {
  std::size_t resync = p;
  while (resync > gridPos && IsLeadByte(text[resync - 1])) --resync;
  // From `resync` on every byte up to `p` is high: lead and second bytes alternate.
  return (p - resync) % 2 == 0;
}

std::size_t NextOnGrid(const ByteMatcher& matcher, std::string_view text, std::size_t& gridPos) {
  for (;;) {
    const std::size_t p = matcher.Next(gridPos);
    if (p == kNone) return kNone;
    if (OnGrid(text, gridPos, p)) {
      gridPos = p;
      return p;
    }
    // `p` is the second byte of a character; the next one starts after it.
    gridPos = p + 1;
  }
}

}  // namespace velinor::cp936
