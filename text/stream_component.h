// The "Adodb.Stream" component over ICU converters, and the charset decoding
// behind its "ReadText".
//
// Stream: "Type" (1 bytes, 2 text), "Mode", "Charset", "Position", "Size",
// "State", "EOS"; methods "Open", "Close", "Write"(byte array), "Read",
// "ReadText". "Type" and "Charset" can change only while the stream is closed
// or at position 0, as on the original platform.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "text/automation.h"

namespace velinor {

std::shared_ptr<AutomationObject> MakeStreamComponent();

// The WHATWG Encoding Standard's encoding for `label` ("UTF-8", "GBK",
// "windows-1252", ...), matched after trimming ASCII white space and folding
// ASCII case; "" when it is not one of the Standard's labels.
std::string_view WhatwgEncodingForLabel(std::string_view label);

// True when `charset` names a decoder: a WHATWG label first, then any name or
// alias ICU knows.
bool IsKnownCharset(std::string_view charset);

// `bytes` read as text in `charset`. A byte-order mark at the start selects
// UTF-8 or UTF-16 whatever the charset says, and is dropped; each invalid
// sequence becomes one U+FFFD. nullopt when the charset is unknown.
std::optional<std::u16string> DecodeBytes(std::span<const std::uint8_t> bytes,
                                          std::string_view charset);

}  // namespace velinor
