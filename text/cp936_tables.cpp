#include "text/cp936_tables.h"

#include <unicode/ucnv.h>
#include <unicode/unorm2.h>

#include <memory>
#include <string>

namespace velinor::cp936 {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter OpenConverter() {
  UErrorCode error = U_ZERO_ERROR;  // U_AMBIGUOUS_ALIAS_WARNING is a success
  Converter converter(ucnv_open("windows-936", &error));
  if (U_FAILURE(error)) return nullptr;
  return converter;
}

}  // namespace

const UNormalizer2* Composer() {
  static const UNormalizer2* const composer = [] {
    UErrorCode error = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
    return U_SUCCESS(error) ? nfc : nullptr;
  }();
  return composer;
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
