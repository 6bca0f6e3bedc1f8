// The code-page-936 text rules written out plainly: a walk one byte or one
// character at a time, slow and obviously right, for the fuzz targets to
// hold the real primitives (which skip ahead with SIMD) against.
//
// The lead-byte rule: a byte 0x80-0xFF starts a two-byte character and the
// byte after it belongs to that character, whatever its value.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velinor::reference {

inline bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// 0-based offset of a 1-based start position; below 1 means the first byte.
inline std::size_t Begin(int start) { return start <= 1 ? 0 : static_cast<std::size_t>(start) - 1; }

// Find and Replace fold ASCII letters wherever they stand, second bytes too.
inline bool MatchesAt(std::string_view text, std::size_t at, std::string_view sought, bool fold) {
  for (std::size_t i = 0; i < sought.size(); ++i) {
    const char a = text[at + i];
    const char b = sought[i];
    if (fold ? Lower(a) != Lower(b) : a != b) return false;
  }
  return true;
}

inline int Find(std::string_view text, std::string_view sought, int start, bool caseInsensitive) {
  const std::size_t length = text.size();
  std::size_t at = Begin(start);
  const std::size_t remaining = at >= length ? 0 : length - at;
  if (sought.empty()) return remaining > 0 ? 1 : -1;
  if (remaining == 0) return -1;
  while (length - at >= sought.size()) {
    if (MatchesAt(text, at, sought, caseInsensitive)) return static_cast<int>(at + 1);
    if (IsLead(text[at])) {
      if (at + 1 == length) break;
      at += 2;
    } else {
      at += 1;
    }
  }
  return -1;
}

inline std::string Left(std::string_view text, int n) {
  if (n <= 0) return "";
  if (static_cast<std::size_t>(n) >= text.size()) return std::string(text);
  return std::string(text.substr(0, static_cast<std::size_t>(n)));
}

inline std::string Right(std::string_view text, int n) {
  if (n <= 0) return "";
  if (static_cast<std::size_t>(n) >= text.size()) return std::string(text);
  return std::string(text.substr(text.size() - static_cast<std::size_t>(n)));
}

inline std::string Mid(std::string_view text, int start, int n) {
  if (start < 1 || static_cast<std::size_t>(start) > text.size() || n <= 0) return "";
  const std::size_t from = static_cast<std::size_t>(start) - 1;
  const std::size_t left = text.size() - from;
  return std::string(text.substr(from, std::min<std::size_t>(left, static_cast<std::size_t>(n))));
}

// `count` below 0 means every occurrence; `caseSensitive` runs opposite to Find's flag.
inline std::string Replace(std::string_view text, std::string_view sought,
                           std::string_view replacement, int start, int count, bool caseSensitive) {
  const std::size_t length = text.size();
  std::size_t at = Begin(start);
  if (text.empty() || sought.empty() || at >= length || count == 0) return std::string(text);
  std::string out(text.substr(0, at));
  while (length - at >= sought.size()) {
    if (MatchesAt(text, at, sought, !caseSensitive)) {
      out += replacement;
      at += sought.size();
      if (count > 0 && --count == 0) break;
    } else if (IsLead(text[at])) {
      if (at + 1 == length) return out;  // a lone lead byte at the end is dropped
      out += text.substr(at, 2);
      at += 2;
    } else {
      out += text[at];
      at += 1;
    }
  }
  out += text.substr(at);
  return out;
}

inline std::vector<std::string> Split(std::string_view text, std::string_view delimiter,
                                      std::optional<int> maximum) {
  if (maximum && *maximum < 0) maximum = 0;
  if (text.empty() || maximum == 0) return {};
  if (delimiter.empty()) return {std::string(text)};
  std::vector<std::string> pieces;
  const std::size_t length = text.size();
  std::size_t at = 0;
  std::size_t pieceStart = 0;
  while (length - at >= delimiter.size()) {
    if (text.substr(at, delimiter.size()) == delimiter) {
      pieces.emplace_back(text.substr(pieceStart, at - pieceStart));
      at += delimiter.size();
      pieceStart = at;
      if (maximum && --*maximum == 0) return pieces;
    } else if (IsLead(text[at])) {
      if (at + 1 == length) break;
      at += 2;
    } else {
      at += 1;
    }
  }
  if (pieceStart < length) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

inline bool IsFullWidthSpace(std::string_view text, std::size_t at) {
  return at + 1 < text.size() && text[at] == '\xA1' && text[at + 1] == '\xA1';
}

inline std::string TrimBoth(std::string_view text) {
  std::size_t begin = 0;
  for (;;) {
    if (begin < text.size() && text[begin] == ' ') {
      begin += 1;
    } else if (IsFullWidthSpace(text, begin)) {
      begin += 2;
    } else {
      break;
    }
  }
  std::size_t at = begin;
  std::optional<std::size_t> runStart;
  while (at < text.size()) {
    std::size_t width = 1;
    bool space = text[at] == ' ';
    if (IsLead(text[at])) {
      // A lone lead byte at the end goes; the spaces before it stay.
      if (at + 1 == text.size()) return std::string(text.substr(begin, at - begin));
      width = 2;
      space = IsFullWidthSpace(text, at);
    }
    if (!space) {
      runStart.reset();
    } else if (!runStart) {
      runStart = at;
    }
    at += width;
  }
  return std::string(text.substr(begin, runStart.value_or(text.size()) - begin));
}

inline std::string RemoveSpaces(std::string_view text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    if (IsLead(text[at])) {
      if (at + 1 == text.size()) break;  // a lone lead byte at the end is dropped
      if (!IsFullWidthSpace(text, at)) out += text.substr(at, 2);
      at += 2;
    } else {
      if (text[at] != ' ') out += text[at];
      at += 1;
    }
  }
  return out;
}

// The form in which two texts compare equal by CompareText exactly when
// their keys are equal: one-byte letters folded unless case counts; two-byte
// characters, lone lead byte included, as they are.
inline std::string CompareKey(std::string_view text, bool caseSensitive) {
  std::string key;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (IsLead(text[at])) {
      key += text[at];
      if (at + 1 < text.size()) key += text[++at];
    } else {
      key += caseSensitive ? text[at] : Lower(text[at]);
    }
  }
  return key;
}

// -1, 0 or 1 over unsigned bytes; a prefix sorts first.
inline int ByteOrder(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// The full-width forms folded to ASCII, then the leading number read into a
// plain "[-]digits[.digits][e[-]digits]" for strtof, which rounds correctly
// once. Returns nullopt when there is no number (the value is then 0).
inline std::optional<std::string> NumberText(std::string_view text) {
  std::string folded;
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
      folded += text[at];
      at += 1;
      continue;
    }
    if (at + 1 == text.size()) break;  // a lone lead byte at the end is dropped
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (lead == 0xA3 && second >= 0xA1 && second <= 0xFE) {
      folded += static_cast<char>(second & 0x7F);
    } else if (lead == 0xA1 && second == 0xA1) {
      folded += ' ';
    } else if (lead == 0xA1 && second == 0xAB) {
      folded += '~';
    } else if (lead == 0xA1 && (second == 0xEE || second == 0xEF)) {
      folded += '*';
    } else {
      folded += text.substr(at, 2);
    }
    at += 2;
  }

  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  std::size_t at = 0;
  while (at < folded.size() &&
         std::string_view(" \t\n\v\f\r").find(folded[at]) != std::string_view::npos) {
    ++at;
  }
  std::string number;
  if (at < folded.size() && (folded[at] == '+' || folded[at] == '-')) {
    if (folded[at] == '-') number += '-';
    ++at;
  }
  bool digits = false;
  bool point = false;
  for (; at < folded.size(); ++at) {
    if (isDigit(folded[at])) {
      digits = true;
      number += folded[at];
    } else if (folded[at] == '.' && !point) {
      point = true;
      number += '.';
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (at < folded.size() && std::string_view("eEdD").find(folded[at]) != std::string_view::npos) {
    std::size_t e = at + 1;
    std::string exponent = "e";
    if (e < folded.size() && (folded[e] == '+' || folded[e] == '-')) {
      if (folded[e] == '-') exponent += '-';
      ++e;
    }
    bool exponentDigits = false;
    for (; e < folded.size() && isDigit(folded[e]); ++e) {
      exponentDigits = true;
      exponent += folded[e];
    }
    if (exponentDigits) number += exponent;
  }
  return number;
}

inline float Number(std::string_view text) {
  const std::optional<std::string> number = NumberText(text);
  return number ? std::strtof(number->c_str(), nullptr) : 0.0f;
}

inline std::string LeftOf(std::string_view text, std::string_view delimiter, int start,
                          bool caseInsensitive) {
  const int p = Find(text, delimiter, start <= 0 ? 1 : start, caseInsensitive);
  return p == -1 ? "" : Left(text, p - 1);
}

// "#引号" in code page 936 stands for a double quote in both delimiters.
inline std::string Between(std::string_view text, std::string_view opening,
                           std::string_view closing, int start, bool caseInsensitive) {
  constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";
  const std::string open = Replace(opening, kQuoteMarker, "\"", 1, -1, true);
  const std::string close = Replace(closing, kQuoteMarker, "\"", 1, -1, true);
  const int p = Find(text, open, start, caseInsensitive);
  if (p == -1) return "";
  const long long q = static_cast<long long>(p) + static_cast<long long>(open.size());
  const int e = Find(text, close, static_cast<int>(q), caseInsensitive);
  if (e == -1) return "";
  return Mid(text, static_cast<int>(q), static_cast<int>(e - q));
}

}  // namespace velinor::reference
