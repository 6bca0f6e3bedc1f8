// Code page 936 <-> UTF-16 over any bytes and any units: decoding as ICU's
// "windows-936" converter decodes, encoding as it encodes character by
// character (after the composition of a base and the marks after it), the
// sizes the interface promises, and the round trips.
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unorm2.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "text/encoding.h"

namespace velinor {
namespace {

using fuzz::Fail;
using fuzz::Number;
using fuzz::Text;

constexpr std::string_view kTokens[] = {"a",        "\xD6\xD0", "\xCE\xC4", "\x80",     "\x81",
                                        "\xFF",     "\xA1\xA1", "\x81\x30", "\x81\x7F", "\xA8\xA6",
                                        "\xFE\xFE", "\xA2\xE3", "?",        "\x81\x40", "\xA6\xD9",
                                        "\xA1\xE9", "\xFE\x50"};

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};

UConverter* Icu() {
  static const std::unique_ptr<UConverter, ConverterCloser> converter = [] {
    UErrorCode error = U_ZERO_ERROR;
    return std::unique_ptr<UConverter, ConverterCloser>(ucnv_open("windows-936", &error));
  }();
  return converter.get();
}

std::u16string IcuDecode(std::string_view bytes) {
  std::u16string out(bytes.size() + 1, u'\0');
  UErrorCode error = U_ZERO_ERROR;
  ucnv_resetToUnicode(Icu());
  const int32_t n = ucnv_toUChars(Icu(), out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                                  static_cast<int32_t>(bytes.size()), &error);
  if (U_FAILURE(error)) Fail("ICU decodes", {Text("bytes", bytes)});
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// One BMP character as ICU encodes it alone; what has no form is "?".
std::string IcuEncode(UChar32 c) {
  const char16_t unit = static_cast<char16_t>(c);
  char out[8];
  UErrorCode error = U_ZERO_ERROR;
  ucnv_resetFromUnicode(Icu());
  const int32_t n = ucnv_fromUChars(Icu(), out, sizeof out, &unit, 1, &error);
  if (U_FAILURE(error) || n == 0) return "?";
  return std::string(out, static_cast<std::size_t>(n));
}

bool IsMark(char16_t unit) { return (U_MASK(u_charType(unit)) & U_GC_M_MASK) != 0; }
bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Up to the first zero unit: a surrogate pair or a lone surrogate is one "?";
// a character takes the marks after it that compose with it.
std::string ExpectedEncoding(std::u16string_view units) {
  UErrorCode error = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
  std::string out;
  for (std::size_t i = 0; i < units.size();) {
    const char16_t unit = units[i++];
    if (unit == 0) break;
    if (IsHigh(unit) || IsLow(unit)) {
      if (IsHigh(unit) && i < units.size() && IsLow(units[i])) ++i;
      out += '?';
      continue;
    }
    UChar32 c = unit;
    while (i < units.size() && IsMark(units[i])) {
      const UChar32 composed = unorm2_composePair(nfc, c, units[i]);
      if (composed < 0 || composed > 0xFFFF) break;
      c = composed;
      ++i;
    }
    out += IcuEncode(c);
  }
  return out;
}

std::u16string Units(const ByteBuffer& bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
  }
  return units;
}

std::string Shown(std::u16string_view units) {
  std::string hex;
  for (const char16_t unit : units) {
    char one[8];
    std::snprintf(one, sizeof one, "%04X ", static_cast<unsigned>(unit));
    hex += one;
  }
  return hex;
}

void CheckDecode(const std::string& text) {
  const std::string_view upToZero = std::string_view(text).substr(0, text.find('\0'));
  const ByteBuffer terminated = AnsiToUnicode(text);
  const ByteBuffer stripped = AnsiToUnicode(text, true);
  if (upToZero.empty()) {
    if (!terminated.empty() || !stripped.empty())
      Fail("AnsiToUnicode of \"\"", {Text("text", text)});
    return;
  }
  const std::u16string want = IcuDecode(upToZero);
  const std::u16string units = Units(terminated);
  if (terminated.size() % 2 != 0 || units.empty() || units.back() != 0 ||
      units.substr(0, units.size() - 1) != want) {
    Fail("AnsiToUnicode decodes as ICU, then one zero unit",
         {Text("text", text), Text("want units", Shown(want)), Text("got units", Shown(units))});
  }
  if (stripped.size() + 2 != terminated.size() ||
      !std::equal(stripped.begin(), stripped.end(), terminated.begin())) {
    Fail("AnsiToUnicode without the terminator", {Text("text", text)});
  }
  if (AnsiToUtf16(text) != want) {
    Fail("AnsiToUtf16 decodes as ICU", {Text("text", text), Text("got", Shown(AnsiToUtf16(text)))});
  }
  // Decoding without a substitution gives back the same bytes.
  if (want.find(u'\uFFFD') == std::u16string::npos && UnicodeToAnsi(terminated) != upToZero) {
    Fail("round trip of a valid text",
         {Text("text", text), Text("back", UnicodeToAnsi(terminated))});
  }
}

void CheckEncode(const ByteBuffer& bytes) {
  const std::u16string units = Units(bytes);
  const std::string want = ExpectedEncoding(units);
  const std::string got = UnicodeToAnsi(bytes);
  if (got != want) {
    Fail("UnicodeToAnsi encodes as ICU",
         {Text("units", Shown(units)), Text("want", want), Text("got", got)});
  }
  if (Utf16ToAnsi(units) != got) {
    Fail("Utf16ToAnsi as UnicodeToAnsi",
         {Text("units", Shown(units)), Text("got", Utf16ToAnsi(units))});
  }
  if (got.find('\0') != std::string::npos || got.size() > units.size() * 2) {
    Fail("UnicodeToAnsi size", {Text("units", Shown(units)), Text("got", got)});
  }
  // What the conversion produced decodes and encodes back to itself.
  const std::string again = UnicodeToAnsi(AnsiToUnicode(got));
  if (again != got) {
    Fail("round trip of an encoded text",
         {Text("units", Shown(units)), Text("encoded", got), Text("again", again)});
  }
}

}  // namespace
}  // namespace velinor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velinor;
  fuzz::InputSource in(data, size, kTokens);
  // Zero bytes end a text: keep some in, past the part fuzz::InputSource gives.
  std::string text = in.Text(400);
  if (in.Flag()) text += std::string(1, '\0') + in.Text(8);
  CheckDecode(text);
  const bool dense = in.Flag();
  const std::vector<std::uint8_t> rest = in.RemainingBytes();
  ByteBuffer units(rest.begin(), rest.end());
  if (dense) {
    // Random units are mostly CJK; these hold marks, surrogates and zero units.
    static constexpr char16_t kUnits[] = {u'a',   u'e',   0x0301, 0x0308, 0x4E2D, 0xD83D,
                                          0xDE00, 0,      0x20AC, 0x00E9, u'A',   0x3000,
                                          0x00B7, 0xFFFD, 0x200B, 0x1100, 0x1161, 0x0CD5};
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
      const char16_t unit = kUnits[units[i] % std::size(kUnits)];
      units[i] = static_cast<std::uint8_t>(unit & 0xFF);
      units[i + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
  }
  CheckEncode(units);
  return 0;
}
