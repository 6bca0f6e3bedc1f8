#include "text/utf8_decoder.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <random>
#include <string>

#include "tests/regex/hex.h"
#include "text/encoding.h"
#include "text/stream_component.h"

namespace velinor {
namespace {

std::string Printable(const ByteBuffer& bytes) {
  return test::ToHex(std::string(bytes.begin(), bytes.end()));
}

// Byte soup rich in what matters to a UTF-8 decoder feeding code page 936:
// boundary bytes of the encoding, truncated and over-long sequences, marks
// that compose with what comes before them, NUL, and ASCII runs long enough
// for the sixteen-byte paths to meet every kind of sequence at every offset.
class Soup {
 public:
  explicit Soup(unsigned seed) : random_(seed) {}

  ByteBuffer Next() {
    static const std::string pieces[] = {
        "a",
        "e",
        "u",
        "A",
        "<",
        " ",
        "\xCC\x81",
        "\xCC\x88",
        "\xCC\x84",
        "\xCC\x8C",
        "\xCC\x80",  // marks
        "\xC3\xBC",
        "\xC3\xA9",
        "\xE4\xB8\xAD",
        "\xE2\x82\xAC",
        "\xEA\xB0\x80",
        "\xF0\x9F\x98\x80",
        "\xEF\xBF\xBD",
        "\xEF\xA3\xB5",
        std::string(1, '\0'),
        "\x80",
        "\xBF",
        "\xC0",
        "\xC1\xBF",
        "\xC2",
        "\xE0\xA0",
        "\xE0\x80\x80",
        "\xED\xA0\x80",
        "\xF0\x8F\xBF\xBF",
        "\xF4\x90\x80\x80",
        "\xF4\x8F\xBF\xBF",
        "\xF5",
        "\xFF",
        "\xEF\xBB",
    };
    ByteBuffer bytes;
    const std::size_t count = random_() % (random_() % 8 == 0 ? 60 : 10);
    for (std::size_t k = 0; k < count; ++k) {
      if (random_() % 4 == 0) {
        bytes.insert(bytes.end(), random_() % 40, 'x');
      } else {
        const std::string& piece = pieces[random_() % std::size(pieces)];
        bytes.insert(bytes.end(), piece.begin(), piece.end());
      }
    }
    return bytes;
  }

 private:
  std::mt19937 random_;
};

TEST(Utf8Decoder, AgreesWithIcu) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* icu = ucnv_open("UTF-8", &status);
  ASSERT_TRUE(U_SUCCESS(status));
  Soup soup(20240611);
  for (int round = 0; round < 20000; ++round) {
    const ByteBuffer bytes = soup.Next();
    std::u16string expected(bytes.size() + 1, u'\0');
    status = U_ZERO_ERROR;
    const int32_t units = ucnv_toUChars(icu, expected.data(), static_cast<int32_t>(expected.size()),
                                        reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<int32_t>(bytes.size()), &status);
    ASSERT_TRUE(U_SUCCESS(status));
    expected.resize(static_cast<std::size_t>(units));
    ASSERT_EQ(DecodeUtf8(bytes), expected) << Printable(bytes);
  }
  ucnv_close(icu);
}

TEST(Utf8Decoder, StraightToCodePage936IsTheSameAsThroughUtf16) {
  Soup soup(7);
  for (int round = 0; round < 20000; ++round) {
    const ByteBuffer bytes = soup.Next();
    ASSERT_EQ(test::ToHex(DecodeUtf8ToAnsi(bytes)), test::ToHex(Utf16ToAnsi(DecodeUtf8(bytes))))
        << Printable(bytes);
  }
}

TEST(Utf8Decoder, StraightToCodePage936) {
  struct Row {
    const char* name;
    std::string_view utf8;
    const char* ansiHex;
  };
  const Row rows[] = {
      {"ASCII run longer than a block", "0123456789abcdefghij",
       "30313233343536373839"
       "6162636465666768696a"},
      {"a mark right after a block composes", "0123456789abcdeu\xCC\x88",
       "303132333435363738396162636465 a8b9"},
      {"two marks compose in turn", "u\xCC\x88\xCC\x84", "a8b5"},
      {"a mark with nothing to compose with", "q\xCC\x88", "71 3f"},
      {"supplementary character",
       "\xF0\x9F\x98\x80"
       "a",
       "3f 61"},
      {"ends at NUL", std::string_view("ab\0cd", 5), "6162"},
      {"invalid bytes",
       "\xE4\xB8"
       "A\xFF",
       "3f 41 3f"},
  };
  for (const Row& row : rows) {
    const std::string_view utf8 = row.utf8;
    EXPECT_EQ(test::ToHex(DecodeUtf8ToAnsi(
                  {reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()})),
              test::ToHex(test::Hex(row.ansiHex)))
        << row.name;
  }
}

// ReadText of a UTF-8 stream answers in code page 936 straight away; the
// text must be what the UTF-16 route gives.
TEST(Utf8Decoder, StreamReadTextTakesTheStraightRoute) {
  CoInitialize(nullptr);
  Soup soup(11);
  for (int round = 0; round < 200; ++round) {
    ByteBuffer bytes = soup.Next();
    if (round % 3 == 0) bytes.insert(bytes.begin(), {0xEF, 0xBB, 0xBF});
    ComObject stream;
    ASSERT_TRUE(CreateObject(stream, "Adodb.Stream"));
    Variant body;
    AssignVariant(body, bytes);
    WriteProperty(stream, "Type", 1);
    CallMethod(stream, "Open");
    CallMethod(stream, "Write", {body});
    WriteProperty(stream, "Position", 0);
    WriteProperty(stream, "Type", 2);
    WriteProperty(stream, "Charset", round % 2 ? "UTF-8" : "windows-1252");
    const TextValue text = CallTextMethod(stream, "ReadText");
    ASSERT_TRUE(AutomationSucceeded());
    const auto units = DecodeBytes(bytes, round % 2 ? "UTF-8" : "windows-1252");
    ASSERT_TRUE(units.has_value());
    ASSERT_EQ(test::ToHex(text), test::ToHex(Utf16ToAnsi(*units))) << Printable(bytes);
  }
  CoUninitialize();
}

}  // namespace
}  // namespace velinor
