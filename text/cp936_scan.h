// Scanning code-page-936 text by the lead-byte rule without walking every byte.
//
// Matches are found as plain byte candidates first (SIMD where available);
// only a candidate is then checked against the character grid. Any byte below
// 0x80 at or after a grid position is followed by a grid position (it is
// either a one-byte character or a second byte), so a check only looks back
// over the run of high bytes before the candidate. Every byte is looked at a
// bounded number of times: searching stays linear in the text's length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velinor::cp936 {

inline constexpr std::size_t kNone = std::string_view::npos;

inline bool IsLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Finds where the bytes of a needle occur in a haystack, either exactly or
// with ASCII letters folded, regardless of character boundaries.
class ByteMatcher {
 public:
  ByteMatcher(std::string_view haystack, std::string_view needle, bool ignoreCase);

  // First offset >= `from` at which the needle's bytes stand, or kNone.
  std::size_t Next(std::size_t from) const;

 private:
  bool MatchesAt(std::size_t offset) const;

  std::string_view haystack_;
  std::string_view needle_;
  std::string foldedNeedle_;
  bool ignoreCase_;
  unsigned char firstOr_ = 0, firstValue_ = 0, lastOr_ = 0, lastValue_ = 0;
};

// Whether `p` lies on the character grid, given that `gridPos` <= `p` does.
bool OnGrid(std::string_view text, std::size_t gridPos, std::size_t p);

// The first match at or after the grid position `gridPos` that starts on the
// grid, or kNone. Moves `gridPos` forward to the last grid position it proved
// (the match itself when one is found), so calls can resume from it.
std::size_t NextOnGrid(const ByteMatcher& matcher, std::string_view text, std::size_t& gridPos);

}  // namespace velinor::cp936
