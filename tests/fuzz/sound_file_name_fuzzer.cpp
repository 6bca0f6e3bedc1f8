// The file name made from a page's title: whatever the title, it names one
// file directly inside the program's directory, on Linux and on Windows,
// and a title that needs no change keeps every character.
#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/output_file.h"
#include "tests/fuzz/fuzz_support.h"
#include "text/encoding.h"

namespace velinor {
namespace {

using fuzz::Fail;
using fuzz::Text;

constexpr std::string_view kTokens[] = {
    "/",        "\\", ".",  "..",   " ",   "CON",      "com1", "Nul",      ":",        "*",
    "?",        "\"", "<",  ">",    "|",   "\x7F",     "\x01", "\x80",     "\xD6\xD0", "\x81",
    "\xA1\xA1", "a",  "\t", "lpt9", "aux", "\xA8\xA2", "\xFF", "\xA3\xAE", "prn.",     "x"};

constexpr std::size_t kNameMax = 255;
constexpr std::string_view kExtension = ".mp3";

// Strict UTF-8: shortest forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t c = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      c = b & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// What Windows refuses in a name: C0 and C1 controls, DEL, \ / : * ? " < > |.
bool HasRefusedCharacter(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x20 || b == 0x7F ||
        std::string_view("\\/:*?\"<>|").find(utf8[i]) != std::string_view::npos) {
      return true;
    }
    // U+0080..U+009F are C2 80..C2 9F.
    if (b == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
      return true;
    }
  }
  return false;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, whatever follows a dot, spaces before it.
bool IsDeviceName(std::string_view stem) {
  std::string base(stem.substr(0, stem.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
  for (const std::string_view plain : kPlain) {
    if (base == plain) return true;
  }
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '1' && base[3] <= '9';
}

bool EndsInDotOrSpace(std::string_view text) {
  return !text.empty() && (text.back() == '.' || text.back() == ' ');
}

}  // namespace
}  // namespace velinor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velinor;
  fuzz::InputSource in(data, size, kTokens);
  const std::string title = in.Text(400);
  const std::string name = SoundFileName(title);
  const auto broken = [&](std::string_view rule) {
    Fail(rule, {Text("title", title), Text("name", name)});
  };

  if (name.size() > kNameMax) broken("at most 255 bytes");
  if (!name.ends_with(kExtension)) broken("ends in .mp3");
  if (!IsUtf8(name)) broken("valid UTF-8");
  if (name.find('\0') != std::string::npos || name.find('/') != std::string::npos) {
    broken("no zero byte and no separator");
  }
  const std::string_view stem = std::string_view(name).substr(0, name.size() - kExtension.size());
  if (stem.empty() || stem == "." || stem == "..") broken("a name of its own before .mp3");
  if (HasRefusedCharacter(stem)) broken("no character that Windows refuses");
  if (EndsInDotOrSpace(stem)) broken("no dot or space before .mp3");
  if (IsDeviceName(stem)) broken("no Windows device name");
  const std::filesystem::path directory = "/music";
  const std::filesystem::path file = directory / name;
  if (file.parent_path() != directory || file.filename() != name) broken("a file in the directory");

  // A title that breaks none of the rules above is kept whole.
  const std::string utf8 = AnsiToUtf8(title);
  const bool clean = !utf8.empty() && utf8 != "." && utf8 != ".." && !HasRefusedCharacter(utf8) &&
                     !EndsInDotOrSpace(utf8) && !IsDeviceName(utf8);
  if (clean && utf8.size() + kExtension.size() <= kNameMax && stem != utf8) {
    broken("a title without anything unsafe is kept");
  }
  // Unless the whole characters that fit are nothing but dots and spaces, which go.
  std::size_t fits = std::min(utf8.size(), kNameMax - kExtension.size());
  while (fits > 0 && fits < utf8.size() &&
         (static_cast<unsigned char>(utf8[fits]) & 0xC0) == 0x80) {
    --fits;
  }
  const bool onlyDotsAndSpacesFit =
      utf8.substr(0, fits).find_first_not_of(". ") == std::string::npos && stem == "_";
  if (clean && !utf8.starts_with(stem) && !onlyDotsAndSpacesFit) {
    broken("a long title is cut, not changed");
  }
  return 0;
}
