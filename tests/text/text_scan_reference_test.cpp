// The searching, replacing, splitting and trimming primitives skip ahead with
// byte candidates and SIMD; here they are checked against a plain walk, one
// character at a time, over many small random texts full of lead bytes,
// second bytes that look like ASCII, and half characters at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "text/text.h"

namespace velinor {
namespace {

bool Lead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool MatchAt(std::string_view text, std::size_t offset, std::string_view sought, bool fold) {
  for (std::size_t i = 0; i < sought.size(); ++i) {
    const char a = text[offset + i];
    const char b = sought[i];
    if (fold ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

std::size_t Begin(int start) { return start <= 1 ? 0 : static_cast<std::size_t>(start) - 1; }

int WalkFind(std::string_view text, std::string_view sought, int start, bool fold) {
  const std::size_t length = text.size();
  std::size_t offset = Begin(start);
  if (offset >= length) return -1;
  if (sought.empty()) return 1;
  while (length - offset >= sought.size()) {
    if (MatchAt(text, offset, sought, fold)) return static_cast<int>(offset + 1);
    if (Lead(text[offset])) {
      if (offset + 1 == length) break;
      offset += 2;
    } else {
      offset += 1;
    }
  }
  return -1;
}

std::string WalkReplace(std::string_view text, std::string_view sought,
                        std::string_view replacement, int start, int count, bool caseSensitive) {
  const std::size_t length = text.size();
  std::size_t offset = Begin(start);
  if (text.empty() || sought.empty() || offset >= length || count == 0) return std::string(text);
  std::string out(text.substr(0, offset));
  while (length - offset >= sought.size()) {
    if (MatchAt(text, offset, sought, !caseSensitive)) {
      out += replacement;
      offset += sought.size();
      if (count > 0 && --count == 0) break;
    } else if (Lead(text[offset])) {
      if (offset + 1 == length) return out;  // a lone lead byte is dropped
      out += text.substr(offset, 2);
      offset += 2;
    } else {
      out += text[offset++];
    }
  }
  out += text.substr(offset);
  return out;
}

TextArray WalkSplit(std::string_view text, std::string_view delimiter, std::optional<int> max) {
  TextArray pieces;
  if (max && *max < 0) max = 0;
  if (text.empty() || max == 0) return pieces;
  if (delimiter.empty()) return {std::string(text)};
  std::size_t offset = 0;
  std::size_t pieceStart = 0;
  while (text.size() - offset >= delimiter.size()) {
    if (text.substr(offset, delimiter.size()) == delimiter) {
      pieces.emplace_back(text.substr(pieceStart, offset - pieceStart));
      offset += delimiter.size();
      pieceStart = offset;
      if (max && --*max == 0) return pieces;
    } else if (Lead(text[offset])) {
      if (offset + 1 == text.size()) break;
      offset += 2;
    } else {
      offset += 1;
    }
  }
  if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

bool FullWidthSpace(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && text[i] == '\xA1' && text[i + 1] == '\xA1';
}

std::string WalkTrim(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    if (text[begin] == ' ') {
      begin += 1;
    } else if (FullWidthSpace(text, begin)) {
      begin += 2;
    } else {
      break;
    }
  }
  std::size_t runStart = std::string_view::npos;
  std::size_t i = begin;
  while (i < text.size()) {
    const bool space = text[i] == ' ' || FullWidthSpace(text, i);
    if (Lead(text[i]) && i + 1 == text.size()) {
      return std::string(text.substr(begin, i - begin));
    }
    if (!space) {
      runStart = std::string_view::npos;
    } else if (runStart == std::string_view::npos) {
      runStart = i;
    }
    i += Lead(text[i]) ? 2 : 1;
  }
  const std::size_t end = runStart == std::string_view::npos ? text.size() : runStart;
  return std::string(text.substr(begin, end - begin));
}

std::string WalkRemoveSpaces(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (Lead(text[i])) {
      if (i + 1 == text.size()) break;
      if (!FullWidthSpace(text, i)) out += text.substr(i, 2);
      i += 2;
    } else {
      if (text[i] != ' ') out += text[i];
      i += 1;
    }
  }
  return out;
}

// A copy in a heap block of exactly the text's size, so that the sanitizer
// build catches any read past the end of the text.
class Exact {
 public:
  explicit Exact(std::string_view text) : bytes_(new char[text.size()]), size_(text.size()) {
    std::copy(text.begin(), text.end(), bytes_.get());
  }
  operator std::string_view() const { return {bytes_.get(), size_}; }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_;
};

class RandomTexts {
 public:
  std::string Text(std::size_t maxLength) {
    std::string s(Pick(maxLength + 1), '\0');
    for (char& c : s) c = kAlphabet[Pick(sizeof(kAlphabet) - 1)];
    return s;
  }
  std::string Needle(const std::string& text) {
    // Half the needles are cut out of the text, so matches are frequent.
    if (!text.empty() && Pick(2) == 0) {
      const std::size_t at = Pick(text.size());
      return text.substr(at, 1 + Pick(std::min<std::size_t>(4, text.size() - at)));
    }
    return Text(3);
  }
  int Start(std::size_t length) { return static_cast<int>(Pick(length + 4)) - 2; }
  std::size_t Pick(std::size_t bound) {
    return std::uniform_int_distribution<std::size_t>(0, bound - 1)(engine_);
  }

 private:
  // Letters of both cases, spaces, half and whole full-width spaces, lead bytes.
  static constexpr char kAlphabet[] =
      "aAbB ;,\xA1\xA1\xB0\xD6\x80\xFF"
      "A";
  std::mt19937 engine_{20240611};
};

constexpr int kRounds = 20000;

TEST(ScanMatchesCharacterWalk, FindText) {
  RandomTexts random;
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = random.Text(70);
    const std::string sought = random.Needle(text);
    const int start = random.Start(text.size());
    for (const bool fold : {false, true}) {
      ASSERT_EQ(FindText(Exact(text), Exact(sought), start, fold),
                WalkFind(text, sought, start, fold))
          << testing::PrintToString(text) << " / " << testing::PrintToString(sought) << " from "
          << start << (fold ? " folded" : "");
    }
  }
}

TEST(ScanMatchesCharacterWalk, ReplaceText) {
  RandomTexts random;
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = random.Text(70);
    const std::string sought = random.Needle(text);
    const int start = random.Start(text.size());
    const int count = static_cast<int>(random.Pick(5)) - 1;
    for (const bool caseSensitive : {false, true}) {
      ASSERT_EQ(ReplaceText(Exact(text), Exact(sought), "<>", start, count, caseSensitive),
                WalkReplace(text, sought, "<>", start, count, caseSensitive))
          << testing::PrintToString(text) << " / " << testing::PrintToString(sought) << " from "
          << start << " count " << count;
    }
  }
}

TEST(ScanMatchesCharacterWalk, SplitText) {
  RandomTexts random;
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = random.Text(70);
    const std::string delimiter = random.Needle(text).substr(0, 1 + random.Pick(2));
    std::optional<int> maximum;
    if (random.Pick(2) == 0) maximum = static_cast<int>(random.Pick(6)) - 1;
    ASSERT_EQ(SplitText(Exact(text), Exact(delimiter), maximum),
              WalkSplit(text, delimiter, maximum))
        << testing::PrintToString(text) << " / " << testing::PrintToString(delimiter);
  }
}

TEST(ScanMatchesCharacterWalk, TrimBothAndRemoveSpaces) {
  RandomTexts random;
  for (int round = 0; round < kRounds; ++round) {
    const std::string text = random.Text(40);
    ASSERT_EQ(TrimBoth(Exact(text)), WalkTrim(text)) << testing::PrintToString(text);
    ASSERT_EQ(RemoveSpaces(Exact(text)), WalkRemoveSpaces(text)) << testing::PrintToString(text);
  }
}

}  // namespace
}  // namespace velinor
