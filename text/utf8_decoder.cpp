#include "text/utf8_decoder.h"

#include <unicode/unorm2.h>

#include <array>

#include "text/cp936_tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velinor {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point at `i`, moving `i` past it; U+FFFD for a maximal invalid
// subpart, which leaves the byte that ended it for the next call.
inline char32_t NextCodePoint(const std::uint8_t* in, std::size_t n, std::size_t& i) {
  const std::uint8_t lead = in[i];
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  // Three bytes whose lead allows any two trail bytes: most of the CJK range,
  // the common case of a Chinese page, decoded without the general checks.
  if (lead >= 0xE1 && lead != 0xED && lead <= 0xEF && n - i >= 3 && (in[i + 1] & 0xC0) == 0x80 &&
      (in[i + 2] & 0xC0) == 0x80) {
    const char32_t code =
        (char32_t{lead & 0x0Fu} << 12) | (char32_t{in[i + 1] & 0x3Fu} << 6) | (in[i + 2] & 0x3Fu);
    i += 3;
    return code;
  }
  ++i;
  char32_t code = 0;
  int needed = 0;
  std::uint8_t lower = 0x80;
  std::uint8_t upper = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2;
    code = lead & 0x0Fu;
    if (lead == 0xE0) lower = 0xA0;  // no overlong forms
    if (lead == 0xED) upper = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3;
    code = lead & 0x07u;
    if (lead == 0xF0) lower = 0x90;
    if (lead == 0xF4) upper = 0x8F;  // nothing above U+10FFFF
  } else {
    return kReplacement;
  }
  for (int k = 0; k < needed; ++k) {
    if (i >= n || in[i] < lower || in[i] > upper) return kReplacement;
    code = (code << 6) | (in[i++] & 0x3Fu);
    lower = 0x80;
    upper = 0xBF;
  }
  return code;
}

// Which first bytes can begin the UTF-8 form of a combining mark, from the
// tables' own list of marks: most characters are followed by one that cannot,
// and then need not be looked at twice.
const std::array<bool, 256>& MarkLeads(const cp936::Tables& tables) {
  static const std::array<bool, 256> leads = [&tables] {
    std::array<bool, 256> result{};
    for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
      if (!tables.IsMark(static_cast<char16_t>(unit))) continue;
      result[unit < 0x80 ? unit : unit < 0x800 ? 0xC0 | (unit >> 6) : 0xE0 | (unit >> 12)] = true;
    }
    return result;
  }();
  return leads;
}

}  // namespace

std::u16string DecodeUtf8(std::span<const std::uint8_t> bytes) {
  // Never more units than bytes: four bytes make at most two units.
  std::u16string out(bytes.size(), u'\0');
  char16_t* const o = out.data();
  const std::uint8_t* const in = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  std::size_t w = 0;
  while (i < n) {
#if defined(__SSE2__)
    // Pages are mostly ASCII mark-up: sixteen bytes at a time.
    while (n - i >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      if (_mm_movemask_epi8(block) != 0) break;
      const __m128i zero = _mm_setzero_si128();
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + w), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + w + 8), _mm_unpackhi_epi8(block, zero));
      i += 16;
      w += 16;
    }
    if (i >= n) break;
#endif
    const char32_t code = NextCodePoint(in, n, i);
    if (code >= 0x10000) {
      o[w++] = static_cast<char16_t>(0xD7C0 + (code >> 10));
      o[w++] = static_cast<char16_t>(0xDC00 | (code & 0x3FF));
    } else {
      o[w++] = static_cast<char16_t>(code);
    }
  }
  out.resize(w);
  return out;
}

TextValue DecodeUtf8ToAnsi(std::span<const std::uint8_t> bytes) {
  const cp936::Tables& tables = cp936::GetTables();
  // Held in locals: the output is written through a char pointer, which the
  // compiler must otherwise assume could change the tables.
  const bool* const markLeads = MarkLeads(tables).data();
  const std::uint16_t* const encode = tables.encode.data();
  const UNormalizer2* const composer = tables.composer;
  const bool asciiIsIdentity = tables.asciiIsIdentity;
  // Never more bytes out than in: a character of one UTF-8 byte is ASCII, and
  // every other gives at most two bytes of code page 936.
  TextValue out(bytes.size(), '\0');
  char* const o = out.data();
  const std::uint8_t* const in = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  std::size_t w = 0;
  while (i < n) {
#if defined(__SSE2__)
    if (asciiIsIdentity && in[i] < 0x80) {
      const __m128i zero = _mm_setzero_si128();
      while (n - i > 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(block) != 0 || _mm_movemask_epi8(_mm_cmpeq_epi8(block, zero)) != 0) {
          break;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + w), block);
        // A mark after the block may compose with its last character: that
        // one is left to the careful path.
        if (in[i + 16] >= 0x80) {
          i += 15;
          w += 15;
          break;
        }
        i += 16;
        w += 16;
      }
    }
#endif
    char32_t code = NextCodePoint(in, n, i);
    if (code == 0) break;  // a text ends at its first zero
    if (code >= 0x10000) {
      o[w++] = '?';  // code page 936 holds no supplementary character
      continue;
    }
    while (composer != nullptr && i < n && markLeads[in[i]]) {
      std::size_t next = i;
      const char32_t mark = NextCodePoint(in, n, next);
      if (mark >= 0x10000 || !tables.IsMark(static_cast<char16_t>(mark))) break;
      const UChar32 composed =
          unorm2_composePair(composer, static_cast<UChar32>(code), static_cast<UChar32>(mark));
      if (composed < 0 || composed > 0xFFFF) break;
      code = static_cast<char32_t>(composed);
      i = next;
    }
    const std::uint16_t encoded = encode[code];
    if (encoded >= 0x100) {
      o[w] = static_cast<char>(encoded >> 8);
      o[w + 1] = static_cast<char>(encoded & 0xFF);
      w += 2;
    } else {
      o[w++] = encoded == 0 ? '?' : static_cast<char>(encoded);
    }
  }
  out.resize(w);
  return out;
}

}  // namespace velinor
