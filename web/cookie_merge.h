// Merging the cookies a request sent with those its response set, and the
// small list helpers the merge is built from.
#pragma once

#include <string_view>

#include "text/text.h"

namespace velinor {

// Returned entries first, then the sent entries whose names they lack; drops
// entries ending in "=deleted" and exact repeats; entries joined by "; ".
// Both arguments are rewritten: spaces removed, and `sent` ends up holding the
// merged text as well.
TextValue MergeCookies(TextValue& sent, TextValue& returned);

// The entry's text before its first "=", trimmed; the whole entry trimmed
// when it has no "=".
TextValue CookieName(std::string_view entry);
// Some element's CookieName equals `name` byte for byte.
bool HasCookieName(const TextArray& list, std::string_view name);
// 1-based index of the first element equal to `text`, or -1.
int FindInList(const TextArray& list, std::string_view text);
// Replaces `list` with the characters of `text` (a byte 0x81-0xFF with its
// successor, and CR LF, count as one) and returns their count. The third
// argument is accepted for the callers that pass it and is not used.
int SplitChars(std::string_view text, TextArray& list, int unused = 0);
// The distinct pieces of `text` in order of first appearance, joined by
// `delimiter`; the pieces are the delimited parts when `splitAtDelimiter`,
// otherwise the characters of SplitChars.
TextValue JoinDistinct(std::string_view text, std::string_view delimiter, bool splitAtDelimiter);

}  // namespace velinor
