#include "text/cp936_tables.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unorm2.h>

#include <memory>
#include <string>

namespace velinor::cp936 {
namespace {

constexpr const char* kConverterName = "windows-936";

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter OpenConverter() {
  UErrorCode error = U_ZERO_ERROR;  // U_AMBIGUOUS_ALIAS_WARNING is a success
  Converter converter(ucnv_open(kConverterName, &error));
  if (U_FAILURE(error)) return nullptr;
  return converter;
}

// Decodes `bytes` as one piece; true when it is exactly one character of one unit.
bool DecodeOne(UConverter* converter, const char* bytes, int length, char16_t& unit,
               UErrorCode& error) {
  ucnv_resetToUnicode(converter);
  error = U_ZERO_ERROR;
  char16_t out[4];
  const int32_t n = ucnv_toUChars(converter, out, 4, bytes, length, &error);
  if (U_FAILURE(error) || n != 1) return false;
  unit = out[0];
  return true;
}

void ReadDecoding(UConverter* converter, Tables& tables) {
  tables.pairs.assign(256 * 256, 0);
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    char16_t unit = 0;
    UErrorCode error = U_ZERO_ERROR;
    if (DecodeOne(converter, &byte, 1, unit, error)) {
      tables.kind[b] = ByteKind::kSingle;
      tables.single[b] = unit;
    } else if (error == U_TRUNCATED_CHAR_FOUND) {
      tables.kind[b] = ByteKind::kLead;
    } else {
      tables.kind[b] = ByteKind::kInvalid;
    }
  }
  for (int lead = 0; lead < 256; ++lead) {
    if (tables.kind[lead] != ByteKind::kLead) continue;
    for (int second = 0; second < 256; ++second) {
      const char bytes[2] = {static_cast<char>(lead), static_cast<char>(second)};
      char16_t unit = 0;
      UErrorCode error = U_ZERO_ERROR;
      if (DecodeOne(converter, bytes, 2, unit, error) && unit != 0) {
        tables.pairs[lead * 256 + second] = unit;
      }
    }
  }
  tables.asciiIsIdentity = true;
  for (int b = 0; b < 0x80; ++b) {
    if (tables.kind[b] != ByteKind::kSingle || tables.single[b] != b) {
      tables.asciiIsIdentity = false;
    }
  }
}

void ReadEncoding(UConverter* converter, Tables& tables) {
  tables.encode.assign(0x10000, 0);
  for (std::uint32_t cp = 1; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp < 0xE000) continue;  // surrogates have no form of their own
    const auto unit = static_cast<char16_t>(cp);
    char out[8];
    ucnv_resetFromUnicode(converter);
    UErrorCode error = U_ZERO_ERROR;
    const int32_t n = ucnv_fromUChars(converter, out, sizeof out, &unit, 1, &error);
    // ICU silently drops unmappable default-ignorable characters (n == 0);
    // here they get "?" like every other character without a form.
    if (U_FAILURE(error)) continue;
    const auto first = static_cast<unsigned char>(out[0]);
    if (n == 1) {
      tables.encode[cp] = first;
    } else if (n == 2) {
      tables.encode[cp] =
          static_cast<std::uint16_t>(first << 8 | static_cast<unsigned char>(out[1]));
    }
  }
}

void ReadMarks(Tables& tables) {
  tables.markBits.assign(0x10000 / 64, 0);
  for (UChar32 cp = 0; cp < 0x10000; ++cp) {
    if ((U_MASK(u_charType(cp)) & U_GC_M_MASK) != 0) {
      tables.markBits[static_cast<std::size_t>(cp) >> 6] |= std::uint64_t{1} << (cp & 63);
    }
  }
  UErrorCode error = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
  if (U_SUCCESS(error)) tables.composer = nfc;
}

Tables BuildTables() {
  Tables tables;
  tables.kind.fill(ByteKind::kInvalid);
  tables.pairs.assign(256 * 256, 0);
  tables.encode.assign(0x10000, 0);
  if (Converter converter = OpenConverter()) {
    // Stop instead of substituting, so that a table entry is set only for a real mapping.
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &error);
    ReadDecoding(converter.get(), tables);
    ReadEncoding(converter.get(), tables);
    for (int b = 1; b < 0x80; ++b) {
      if (tables.encode[b] != b) tables.asciiIsIdentity = false;
    }
  }
  ReadMarks(tables);
  return tables;
}

}  // namespace

const Tables& GetTables() {
  static const Tables tables = BuildTables();
  return tables;
}

std::u16string DecodeWithIcu(std::string_view text) {
  Converter converter = OpenConverter();
  if (!converter || text.empty()) return {};
  const auto length = static_cast<int32_t>(text.size());
  // Every byte gives at most one unit.
  std::u16string out(text.size() + 1, u'\0');
  UErrorCode error = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(converter.get(), out.data(), static_cast<int32_t>(out.size()),
                            text.data(), length, &error);
  if (error == U_BUFFER_OVERFLOW_ERROR) {
    out.assign(static_cast<std::size_t>(n) + 1, u'\0');
    error = U_ZERO_ERROR;
    ucnv_resetToUnicode(converter.get());
    n = ucnv_toUChars(converter.get(), out.data(), static_cast<int32_t>(out.size()), text.data(),
                      length, &error);
  }
  if (U_FAILURE(error)) return {};
  out.resize(static_cast<std::size_t>(n));
  return out;
}

}  // namespace velinor::cp936
