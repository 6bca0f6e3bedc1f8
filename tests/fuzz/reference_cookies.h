// The cookie merge written out over the plain text walks, and the normal
// form every merged cookie text must have.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fuzz/reference_text.h"

namespace velinor::reference {

inline std::string CookieName(std::string_view entry) {
  const int equals = Find(entry, "=", 1, false);
  return TrimBoth(equals == -1 ? entry : Left(entry, equals - 1));
}

// Returned entries first, then the sent ones whose names they lack (the list
// grows as it goes); "=deleted" entries dropped; exact repeats dropped.
inline std::string MergeCookies(std::string& sent, std::string& returned) {
  sent = RemoveSpaces(sent);
  returned = RemoveSpaces(returned);
  const std::vector<std::string> sentEntries = Split(sent, ";", std::nullopt);
  std::vector<std::string> merged = Split(returned, ";", std::nullopt);
  for (const std::string& entry : sentEntries) {
    const std::string name = CookieName(entry);
    const bool known = std::any_of(merged.begin(), merged.end(),
                                   [&](const std::string& m) { return CookieName(m) == name; });
    if (!known) merged.push_back(entry);
  }
  std::string joined;
  for (const std::string& entry : merged) {
    if (Right(entry, 8) != "=deleted") joined += entry + "; ";
  }
  joined = Left(joined, static_cast<int>(joined.size()) - 2);
  std::vector<std::string> distinct;
  std::string result;
  for (const std::string& piece : Split(joined, "; ", std::nullopt)) {
    if (std::find(distinct.begin(), distinct.end(), piece) != distinct.end()) continue;
    distinct.push_back(piece);
    result += piece + "; ";
  }
  sent = Left(result, static_cast<int>(result.size()) - 2);
  return sent;
}

// What is wrong with a merged cookie text, or nullopt when it is entries
// joined by "; " with no space and no ";" inside an entry, none ending in
// "=deleted" and none twice. Characters are walked by the lead-byte rule.
// An empty entry is an entry, also the last one: the merge keeps one empty
// entry wherever it first stood, so "a; " is "a" and "" joined.
inline std::optional<std::string> NormalFormBreak(std::string_view merged) {
  std::vector<std::string> entries = Split(merged, "; ", std::nullopt);
  std::string joined;
  for (std::size_t i = 0; i < entries.size(); ++i) joined += (i > 0 ? "; " : "") + entries[i];
  if (joined + "; " == merged) {
    entries.emplace_back();
    joined = std::string(merged);
  }
  if (joined != merged) return "not entries joined by \"; \"";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    if (RemoveSpaces(entry) != entry)
      return "a space or a lone lead byte in entry " + std::to_string(i + 1);
    if (Find(entry, ";", 1, false) != -1) return "a \";\" in entry " + std::to_string(i + 1);
    if (Right(entry, 8) == "=deleted") return "entry " + std::to_string(i + 1) + " is deleted";
    if (std::find(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(i), entry) !=
        entries.begin() + static_cast<std::ptrdiff_t>(i)) {
      return "entry " + std::to_string(i + 1) + " repeats an earlier one";
    }
  }
  return std::nullopt;
}

}  // namespace velinor::reference
