// Byte strings written as hex in test tables.
#pragma once

#include <string>
#include <string_view>

namespace velinor::test {

// "d6d0 61" -> "\xD6\xD0\x61"; spaces are ignored.
inline std::string Hex(std::string_view digits) {
  const auto value = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  std::string bytes;
  int high = -1;
  for (char c : digits) {
    if (c == ' ') continue;
    if (high < 0) {
      high = value(c);
    } else {
      bytes.push_back(static_cast<char>(high * 16 + value(c)));
      high = -1;
    }
  }
  return bytes;
}

inline std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

}  // namespace velinor::test
