// The header block a web request sends: the caller's lines, then the default
// lines each of them lacks.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace velinor {

// The caller's `extraHeaders` (lines separated by "\r\n") and "\r\n", then
// User-Agent, Accept, Accept-Encoding, Accept-Language, for method 1
// Content-Type, Cache-Control and, when `sendCookies` is given and not empty,
// Cookie, each unless the block already holds its name. nullopt when the
// cookie text holds a line break, which would make a header line of its own.
std::optional<TextValue> BuildHeaderBlock(std::string_view extraHeaders, int method,
                                          const TextValue* sendCookies);

// The block's lines as they go on the wire, empty lines skipped, or nullopt
// when a line is no header line (no name before a colon, a control character
// or a stray line break) or names a Content-Length other than `bodySize`.
std::optional<std::vector<std::string>> HeaderLinesOf(std::string_view block, std::size_t bodySize);

}  // namespace velinor
