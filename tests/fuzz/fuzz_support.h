// What every fuzz target shares: drawing texts, positions and flags from the
// fuzzer's bytes, and stopping with a readable report when a rule breaks.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velinor::fuzz {

// Bytes as a C string literal shows them, so that a failing case can be
// pasted into a unit test.
inline std::string Escaped(std::string_view bytes) {
  std::string out = "\"";
  bool afterHex = false;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    // A hex escape would swallow a hex digit right after it.
    if (afterHex && std::isxdigit(b)) out += "\"\"";
    afterHex = false;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
      afterHex = true;
    }
  }
  return out + "\"";
}

struct Shown {
  std::string_view name;
  std::string value;
};
inline Shown Text(std::string_view name, std::string_view bytes) { return {name, Escaped(bytes)}; }
inline Shown Number(std::string_view name, long long value) {
  return {name, std::to_string(value)};
}
inline Shown Real(std::string_view name, double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g (%a)", value, value);
  return {name, text};
}
inline Shown List(std::string_view name, const std::vector<std::string>& items) {
  std::string value = "{";
  for (const std::string& item : items) value += (value.size() > 1 ? ", " : "") + Escaped(item);
  return {name, value + "}"};
}

// Reports the broken rule and the values that show it, then aborts, so that
// libFuzzer keeps the input as a crash.
[[noreturn]] inline void Fail(std::string_view rule, std::initializer_list<Shown> shown) {
  std::fprintf(stderr, "\n=== broken rule: %.*s\n", static_cast<int>(rule.size()), rule.data());
  for (const Shown& s : shown) {
    std::fprintf(stderr, "    %.*s = %s\n", static_cast<int>(s.name.size()), s.name.data(),
                 s.value.c_str());
  }
  std::abort();
}

// Draws the inputs of one run. A text comes in one of three forms, chosen by
// a byte of its own: the raw bytes; bytes folded onto a small alphabet of the
// bytes the rules turn on (lead bytes, letters in both cases, spaces,
// delimiters, digits); or tokens of the target's own. The folded forms let
// short inputs hold many matches, near-matches and two-byte characters
// whose second byte looks like ASCII.
class InputSource {
 public:
  InputSource(const std::uint8_t* data, std::size_t size,
              std::span<const std::string_view> tokens = {})
      : provider_(data, size), tokens_(tokens) {}

  // Never holds a zero byte: a text ends at one.
  std::string Text(std::size_t maxBytes) {
    static constexpr std::string_view kAlphabet =
        "aAbBzZ \xA1\x81\x80\xFF\xB0;=\r\n\t1.e-\xA3"
        "0:/\\<\"dD+";
    const int form = provider_.ConsumeIntegralInRange(0, tokens_.empty() ? 1 : 2);
    const std::string raw = provider_.ConsumeRandomLengthString(maxBytes);
    std::string text;
    for (const char c : raw) {
      const auto b = static_cast<unsigned char>(c);
      if (form == 0) {
        if (b != 0) text += c;
      } else if (form == 1) {
        text += kAlphabet[b % kAlphabet.size()];
      } else {
        text += tokens_[b % tokens_.size()];
      }
      if (text.size() >= maxBytes) break;
    }
    return text;
  }

  // Mostly near a text of `length` bytes, at times any int at all.
  int Position(std::size_t length) {
    if (provider_.ConsumeIntegralInRange(0, 7) == 0) return provider_.ConsumeIntegral<int>();
    const int top = length > 100000 ? 100002 : static_cast<int>(length) + 2;
    return provider_.ConsumeIntegralInRange(-2, top);
  }

  // Mostly -2 to `top`, at times any int at all.
  int Count(int top) {
    if (provider_.ConsumeIntegralInRange(0, 7) == 0) return provider_.ConsumeIntegral<int>();
    return provider_.ConsumeIntegralInRange(-2, top);
  }

  bool Flag() { return provider_.ConsumeBool(); }
  int Choice(int last) { return provider_.ConsumeIntegralInRange(0, last); }
  bool Empty() { return provider_.remaining_bytes() == 0; }
  std::vector<std::uint8_t> RemainingBytes() {
    return provider_.ConsumeRemainingBytes<std::uint8_t>();
  }

 private:
  FuzzedDataProvider provider_;
  std::span<const std::string_view> tokens_;
};

}  // namespace velinor::fuzz
