// Writes the code page 936 tables as a C++ source file, read from ICU's
// "windows-936" converter one code at a time. The build runs it, so that the
// program never spends start-up time asking ICU about 100K codes.
//
//   cp936_table_generator <output.cpp>
#include <unicode/uchar.h>
#include <unicode/uclean.h>
#include <unicode/ucnv.h>
#include <unicode/uversion.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "text/cp936_tables.h"

namespace velinor::cp936 {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

struct RawTables {
  std::array<ByteKind, 256> kind{};
  std::array<char16_t, 256> single{};
  std::vector<char16_t> pairs = std::vector<char16_t>(kPairCount, 0);
  bool asciiIsIdentity = true;
  std::vector<std::uint16_t> encode = std::vector<std::uint16_t>(0x10000, 0);
  std::vector<std::uint64_t> markBits = std::vector<std::uint64_t>(0x10000 / 64, 0);
};

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

bool ReadDecoding(UConverter* converter, RawTables& tables) {
  for (unsigned b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    char16_t unit = 0;
    UErrorCode error = U_ZERO_ERROR;
    if (DecodeOne(converter, &byte, 1, unit, error)) {
      tables.kind[b] = ByteKind::kSingle;
      tables.single[b] = unit;
    } else if (error == U_TRUNCATED_CHAR_FOUND) {
      if (b < kFirstLead || b > kLastLead) {
        std::fprintf(stderr, "lead byte 0x%02X lies outside the pair table\n", b);
        return false;
      }
      tables.kind[b] = ByteKind::kLead;
    } else {
      tables.kind[b] = ByteKind::kInvalid;
    }
  }
  for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
    if (tables.kind[lead] != ByteKind::kLead) continue;
    for (unsigned second = 0; second < 256; ++second) {
      const char bytes[2] = {static_cast<char>(lead), static_cast<char>(second)};
      char16_t unit = 0;
      UErrorCode error = U_ZERO_ERROR;
      if (DecodeOne(converter, bytes, 2, unit, error) && unit != 0) {
        tables.pairs[(lead - kFirstLead) * 256 + second] = unit;
      }
    }
  }
  for (unsigned b = 0; b < 0x80; ++b) {
    if (tables.kind[b] != ByteKind::kSingle || tables.single[b] != b) {
      tables.asciiIsIdentity = false;
    }
  }
  return true;
}

void ReadEncoding(UConverter* converter, RawTables& tables) {
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
  for (unsigned b = 1; b < 0x80; ++b) {
    if (tables.encode[b] != b) tables.asciiIsIdentity = false;
  }
}

void ReadMarks(RawTables& tables) {
  for (UChar32 cp = 0; cp < 0x10000; ++cp) {
    if ((U_MASK(u_charType(cp)) & U_GC_M_MASK) != 0) {
      tables.markBits[static_cast<std::size_t>(cp) >> 6] |= std::uint64_t{1} << (cp & 63);
    }
  }
}

bool ReadTables(RawTables& tables) {
  UErrorCode error = U_ZERO_ERROR;  // U_AMBIGUOUS_ALIAS_WARNING is a success
  Converter converter(ucnv_open("windows-936", &error));
  if (U_FAILURE(error)) {
    std::fprintf(stderr, "cannot open ICU's windows-936 converter: %s\n", u_errorName(error));
    return false;
  }
  // Stop instead of substituting, so that a table entry is set only for a real mapping.
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
  if (U_FAILURE(error)) {
    std::fprintf(stderr, "cannot set the converter's callbacks: %s\n", u_errorName(error));
    return false;
  }
  if (!ReadDecoding(converter.get(), tables)) return false;
  ReadEncoding(converter.get(), tables);
  ReadMarks(tables);
  return true;
}

// Sixteen values to a line, in hexadecimal.
template <typename T>
void WriteValues(std::ostream& out, const T* values, std::size_t count, const char* indent) {
  for (std::size_t i = 0; i < count; ++i) {
    out << (i % 16 == 0 ? "\n" : " ") << (i % 16 == 0 ? indent : "") << "0x"
        << static_cast<std::uint64_t>(values[i]) << ',';
  }
  out << '\n';
}

std::string Generate(const RawTables& tables) {
  std::ostringstream out;
  out << std::hex;
  out << "// Written by cp936_table_generator from ICU " << U_ICU_VERSION
      << "'s windows-936 converter. Do not edit.\n"
         "#include <cstdint>\n\n"
         "#include \"text/cp936_tables.h\"\n\n"
         "namespace velinor::cp936 {\n"
         "namespace {\n\n"
         "[[maybe_unused]] constexpr ByteKind S = ByteKind::kSingle;\n"
         "[[maybe_unused]] constexpr ByteKind L = ByteKind::kLead;\n"
         "[[maybe_unused]] constexpr ByteKind X = ByteKind::kInvalid;\n\n"
         "constexpr char16_t kPairs[kPairCount] = {";
  WriteValues(out, tables.pairs.data(), tables.pairs.size(), "    ");
  out << "};\n\nconstexpr std::uint16_t kEncode[0x10000] = {";
  WriteValues(out, tables.encode.data(), tables.encode.size(), "    ");
  out << "};\n\nconstexpr std::uint64_t kMarkBits[0x10000 / 64] = {";
  WriteValues(out, tables.markBits.data(), tables.markBits.size(), "    ");
  out << "};\n\n}  // namespace\n\n"
         "constinit const Tables detail::kTables = {\n"
         "    .kind = {";
  for (unsigned b = 0; b < 256; ++b) {
    const ByteKind kind = tables.kind[b];
    out << (b % 32 == 0 ? "\n        " : " ")
        << (kind == ByteKind::kSingle ? 'S'
            : kind == ByteKind::kLead ? 'L'
                                      : 'X')
        << ',';
  }
  out << "\n    },\n    .single = {";
  WriteValues(out, tables.single.data(), tables.single.size(), "        ");
  out << "    },\n"
         "    .pairs = kPairs,\n"
         "    .asciiIsIdentity = "
      << (tables.asciiIsIdentity ? "true" : "false")
      << ",\n"
         "    .encode = kEncode,\n"
         "    .markBits = kMarkBits,\n"
         "    .composer = {},\n"
         "};\n\n"
         "}  // namespace velinor::cp936\n";
  return out.str();
}

}  // namespace
}  // namespace velinor::cp936

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.cpp>\n", argv[0]);
    return 2;
  }
  velinor::cp936::RawTables tables;
  const bool read = velinor::cp936::ReadTables(tables);
  u_cleanup();
  if (!read) return 1;
  // Written beside the output and renamed over it, so that a failed run
  // never leaves a half-written file for the build to compile.
  const std::string path = argv[1];
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << velinor::cp936::Generate(tables);
    if (!file.flush()) {
      std::fprintf(stderr, "cannot write %s\n", temporary.c_str());
      return 1;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::perror(path.c_str());
    return 1;
  }
  return 0;
}
