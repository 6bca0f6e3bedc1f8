// A regular-expression search over code-page-936 text through the
// "VBScript.RegExp" component, keeping the outcome of the last search.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "text/automation.h"
#include "text/text.h"

namespace velinor {

// Each instance holds one COM initialisation of its thread for its lifetime,
// so it must be made, used and destroyed on one thread.
class RegexObject {
 public:
  RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  virtual ~RegexObject();

  // Shares the engine and the match collection, copies the searched text, and
  // takes a COM initialisation of its own.
  virtual std::unique_ptr<RegexObject> Clone() const;

  // Compiles `pattern` and searches `subjectText`. With `expandQuoteMarker`
  // every "#引号" in the pattern stands for a double quote. True when the
  // search ran, also when it found nothing; false for a pattern that does not
  // compile or an engine that cannot be made.
  virtual bool Create(std::string_view pattern, std::string_view subjectText,
                      std::optional<bool> caseSensitive = std::nullopt,
                      std::optional<bool> multiline = std::nullopt,
                      std::optional<bool> global = std::nullopt,
                      std::optional<bool> expandQuoteMarker = std::nullopt);

  virtual void NoOp();

  virtual TextValue GetPattern() const;

  // The searched text with the first match, or every match when searching
  // globally, replaced; "$1", "$&", "$$" and the like are expanded.
  virtual TextValue Replace(std::string_view replacement = {}) const;

  virtual int MatchCount() const;

  // Indices count from 1; "" when there is no such match or group. A given
  // `position` receives a 0-based byte offset of the text in the searched
  // text, or -2 when it cannot be found there.
  virtual TextValue MatchText(int matchIndex, int* position = nullptr) const;
  virtual TextValue SubMatchText(int matchIndex, int subMatchIndex, int* position = nullptr) const;

  // The number of groups of the first match; 0 when nothing matched.
  virtual int SubMatchCount() const;

 private:
  int BytePosition(std::string_view found, const ComObject& match) const;

  ComObject engine;
  ComObject matches;
  Variant subject;
};

}  // namespace velinor
