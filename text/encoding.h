// Code page 936 <-> UTF-16, and delimiter extraction.
//
// The conversions follow Windows' code page 936 exactly (ICU's "windows-936"
// table): 0x80 is the euro sign, and a character without a code-page-936
// form becomes "?" (a surrogate pair, which code page 936 cannot hold, one
// "?"; so does a lone surrogate). Byte sequences that are not valid code page
// 936 decode as ICU's converter decodes them (U+FFFD). A zero byte or a zero
// unit ends the input, as it ends a terminated string.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "text/text.h"

namespace velinor {

// UTF-16LE code units of `text` with a terminating zero unit; "" gives the
// empty buffer. `stripTerminator` drops the zero unit.
ByteBuffer AnsiToUnicode(std::string_view text, bool stripTerminator = false);
// Whole UTF-16LE units of `units` (an odd last byte is ignored) up to the
// first zero unit; a base character followed by a combining mark is
// composed first.
TextValue UnicodeToAnsi(std::span<const std::uint8_t> units);

// The same conversions on native UTF-16 strings, without terminators, for the
// layers that hand text to libraries taking wide strings.
std::u16string AnsiToUtf16(std::string_view text);
TextValue Utf16ToAnsi(std::u16string_view text);

// UTF-8 <-> code page 936: the program's literals are written in UTF-8, and
// file names on Linux are UTF-8. Malformed UTF-8 becomes "?".
TextValue Utf8ToAnsi(std::string_view utf8);
// For u8"..." literals: TextValue title = Utf8ToAnsi(u8"下载_正版");
TextValue Utf8ToAnsi(std::u8string_view utf8);
std::string AnsiToUtf8(std::string_view text);

// The text before the first `delimiter` at or after `start` (counted from the
// text's first byte); "" when it does not occur.
TextValue TextLeftOf(std::string_view text, std::string_view delimiter, int start = 0,
                     bool caseInsensitive = false);
// The text between the first `opening` at or after `start` and the next
// `closing`; "" when either is missing. In both delimiters the marker "#引号"
// stands for a double quote.
TextValue TextBetween(std::string_view text, std::string_view opening, std::string_view closing,
                      int start = 0, bool caseInsensitive = false);

}  // namespace velinor
