#include "text/encoding.h"

#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>

#include "text/cp936_tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velinor {
namespace {

using cp936::ByteKind;
using cp936::Tables;

// A text ends at its first zero byte, as a terminated string would.
std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

// --- decoding --------------------------------------------------------------

struct LittleEndianSink {
  std::uint8_t* out;
  void Put(std::size_t i, char16_t unit) const {
    out[2 * i] = static_cast<std::uint8_t>(unit & 0xFF);
    out[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
  }
#if defined(__SSE2__)
  void PutWidened(std::size_t i, __m128i low, __m128i high) const {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), high);
  }
#endif
};

struct NativeSink {
  char16_t* out;
  void Put(std::size_t i, char16_t unit) const { out[i] = unit; }
#if defined(__SSE2__)
  void PutWidened(std::size_t i, __m128i low, __m128i high) const {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), high);
  }
#endif
};

// Converts with the tables into `sink` (room for one unit per byte) and
// returns the unit count; false when the text holds a sequence that is not
// valid code page 936, which is then left to ICU as a whole.
template <typename Sink>
bool DecodeWithTables(const Tables& tables, std::string_view text, const Sink& sink,
                      std::size_t& units) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t length = text.size();
  std::size_t i = 0;
  std::size_t o = 0;
  while (i < length) {
#if defined(__SSE2__)
    if (tables.asciiIsIdentity) {
      const __m128i zero = _mm_setzero_si128();
      while (length - i >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        if (_mm_movemask_epi8(block) != 0) break;
        sink.PutWidened(o, _mm_unpacklo_epi8(block, zero), _mm_unpackhi_epi8(block, zero));
        i += 16;
        o += 16;
      }
    }
    // Walk at least past the block that held a high byte before trying again.
    const std::size_t blockEnd = std::min(length, i + 16);
#else
    const std::size_t blockEnd = length;
#endif
    while (i < blockEnd) {
      const unsigned char b = bytes[i];
      switch (tables.kind[b]) {
        case ByteKind::kSingle:
          sink.Put(o++, tables.single[b]);
          ++i;
          break;
        case ByteKind::kLead: {
          if (i + 1 == length) return false;
          const char16_t unit = tables.Pair(b, bytes[i + 1]);
          if (unit == 0) return false;
          sink.Put(o++, unit);
          i += 2;
          break;
        }
        case ByteKind::kInvalid:
          return false;
      }
    }
  }
  units = o;
  return true;
}

// --- encoding --------------------------------------------------------------

struct LittleEndianUnits {
  const std::uint8_t* bytes;
  std::size_t count;
  char16_t operator[](std::size_t i) const {
    return static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  const void* raw() const { return bytes; }
};

struct NativeUnits {
  const char16_t* units;
  std::size_t count;
  char16_t operator[](std::size_t i) const { return units[i]; }
  const void* raw() const { return units; }
};

bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Converts units up to the first zero unit. A base character followed by
// combining marks is composed first where Unicode has a precomposed form, as
// Windows' WC_COMPOSITECHECK does; what code page 936 cannot hold becomes "?".
template <typename Units>
TextValue EncodeWithTables(const Units& in) {
  const Tables& tables = cp936::GetTables();
  const std::size_t count = in.count;
  TextValue out(count * 2, '\0');
  char* o = out.data();
  std::size_t w = 0;
  std::size_t i = 0;
  while (i < count) {
#if defined(__SSE2__)
    if (tables.asciiIsIdentity) {
      const auto* raw = static_cast<const std::uint8_t*>(in.raw());
      const __m128i zero = _mm_setzero_si128();
      const __m128i highBits = _mm_set1_epi16(static_cast<short>(0xFF80));
      // Eight units at a time while they are ASCII, not zero, and the unit
      // after them is no mark that would compose with the last one.
      while (count - i > 8) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + 2 * i));
        const int ascii = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(block, highBits), zero));
        const int zeros = _mm_movemask_epi8(_mm_cmpeq_epi16(block, zero));
        if (ascii != 0xFFFF || zeros != 0 || tables.IsMark(in[i + 8])) break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + w), _mm_packus_epi16(block, block));
        w += 8;
        i += 8;
      }
    }
    const std::size_t blockEnd = std::min(count, i + 8);
#else
    const std::size_t blockEnd = count;
#endif
    while (i < blockEnd) {
      const char16_t unit = in[i++];
      if (unit == 0) {
        out.resize(w);
        return out;
      }
      if (IsSurrogate(unit)) {
        // Code page 936 holds no supplementary character: a pair is one "?",
        // and so is a lone surrogate.
        if (IsHighSurrogate(unit) && i < count && IsLowSurrogate(in[i])) ++i;
        o[w++] = '?';
        continue;
      }
      UChar32 cp = unit;
      if (i < count && tables.IsMark(in[i])) {
        // ICU's composer is loaded here, by the first text that needs it.
        const UNormalizer2* const composer = cp936::Composer();
        while (composer != nullptr && i < count && tables.IsMark(in[i])) {
          const UChar32 composed = unorm2_composePair(composer, cp, in[i]);
          if (composed < 0 || composed > 0xFFFF) break;
          cp = composed;
          ++i;
        }
      }
      const std::uint16_t bytes = tables.encode[static_cast<std::size_t>(cp)];
      if (bytes == 0) {
        o[w++] = '?';
      } else if (bytes < 0x100) {
        o[w++] = static_cast<char>(bytes);
      } else {
        o[w++] = static_cast<char>(bytes >> 8);
        o[w++] = static_cast<char>(bytes & 0xFF);
      }
    }
  }
  out.resize(w);
  return out;
}

}  // namespace

ByteBuffer AnsiToUnicode(std::string_view text, bool stripTerminator) {
  text = UpToZero(text);
  if (text.empty()) return {};
  // One unit per byte at most, plus the terminator; the buffer starts zeroed.
  ByteBuffer out((text.size() + 1) * 2, 0);
  std::size_t units = 0;
  if (!DecodeWithTables(cp936::GetTables(), text, LittleEndianSink{out.data()}, units)) {
    const std::u16string decoded = cp936::DecodeWithIcu(text);
    if (decoded.empty()) return {};
    units = decoded.size();
    out.assign((units + 1) * 2, 0);
    for (std::size_t i = 0; i < units; ++i) LittleEndianSink{out.data()}.Put(i, decoded[i]);
  }
  out.resize((units + (stripTerminator ? 0 : 1)) * 2);
  return out;
}

TextValue UnicodeToAnsi(std::span<const std::uint8_t> units) {
  return EncodeWithTables(LittleEndianUnits{units.data(), units.size() / 2});
}

std::u16string AnsiToUtf16(std::string_view text) {
  text = UpToZero(text);
  if (text.empty()) return {};
  std::u16string out(text.size(), u'\0');
  std::size_t units = 0;
  if (!DecodeWithTables(cp936::GetTables(), text, NativeSink{out.data()}, units)) {
    return cp936::DecodeWithIcu(text);
  }
  out.resize(units);
  return out;
}

TextValue Utf16ToAnsi(std::u16string_view text) {
  return EncodeWithTables(NativeUnits{text.data(), text.size()});
}

TextValue Utf8ToAnsi(std::string_view utf8) {
  utf8 = UpToZero(utf8);
  if (utf8.empty()) return {};
  // UTF-16 never needs more units than UTF-8 has bytes.
  std::u16string units(utf8.size(), u'\0');
  int32_t length = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strFromUTF8WithSub(units.data(), static_cast<int32_t>(units.size()), &length, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &error);
  if (U_FAILURE(error)) return {};
  units.resize(static_cast<std::size_t>(length));
  return Utf16ToAnsi(units);
}

TextValue Utf8ToAnsi(std::u8string_view utf8) {
  return Utf8ToAnsi(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

std::string AnsiToUtf8(std::string_view text) {
  const std::u16string units = AnsiToUtf16(text);
  if (units.empty()) return {};
  // A BMP unit needs at most three UTF-8 bytes.
  std::string out(units.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, units.data(),
                     static_cast<int32_t>(units.size()), 0xFFFD, nullptr, &error);
  if (U_FAILURE(error)) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

namespace {

// "#引号" in code page 936: '#', then the characters 0xD2 0xFD and 0xBA 0xC5.
constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

}  // namespace

TextValue TextLeftOf(std::string_view text, std::string_view delimiter, int start,
                     bool caseInsensitive) {
  const int p = FindText(text, delimiter, std::max(start, 1), caseInsensitive);
  if (p == -1) return {};
  // Counted from the text's first byte, not from the start position.
  return TextLeft(text, p - 1);
}

TextValue TextBetween(std::string_view text, std::string_view opening, std::string_view closing,
                      int start, bool caseInsensitive) {
  const TextValue open = ReplaceText(opening, kQuoteMarker, "\"", 1, -1, true);
  const TextValue close = ReplaceText(closing, kQuoteMarker, "\"", 1, -1, true);
  const int p = FindText(text, open, start, caseInsensitive);
  if (p == -1) return {};
  const int q = p + TextLength(open);
  const int e = FindText(text, close, q, caseInsensitive);
  if (e == -1) return {};
  return TextMid(text, q, e - q);
}

}  // namespace velinor
