// RegexObject with any pattern, subject and options: never a crash or a
// hang, and every position it hands out is -2 or the place in the subject
// where the text it gives stands.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_text.h"
#include "text/encoding.h"
#include "text/regex_object.h"

namespace velinor {
namespace {

using fuzz::Fail;
using fuzz::Number;
using fuzz::Text;

constexpr std::string_view kTokens[] = {"(",
                                        ")",
                                        "*",
                                        "+",
                                        "?",
                                        "|",
                                        "[",
                                        "]",
                                        "^",
                                        "$",
                                        ".",
                                        "\\w",
                                        "\\d",
                                        "\\s",
                                        "\\b",
                                        "a",
                                        "A",
                                        "b",
                                        "{2,}",
                                        "{0,3}",
                                        "(?:",
                                        "(?=",
                                        "(?!",
                                        "(?<=",
                                        "\\1",
                                        "*?",
                                        "+?",
                                        "\n",
                                        "\r",
                                        "[^\\w]",
                                        "-",
                                        "<meta",
                                        "charset=",
                                        "\xD6\xD0",
                                        "\x81",
                                        "\xFF",
                                        "\"",
                                        "#\xD2\xFD\xBA\xC5",
                                        "(?i)",
                                        "\\",
                                        "$1",
                                        "$&",
                                        "$$",
                                        "\xA1\xA1",
                                        "\xE2\x9C\x93",
                                        "(.*)*",
                                        "\\u00",
                                        "\\x{"};

std::optional<bool> Option(fuzz::InputSource& in) {
  switch (in.Choice(2)) {
    case 0:
      return std::nullopt;
    case 1:
      return false;
    default:
      return true;
  }
}

struct Searched {
  std::string subject;
  // The object's own copy, through UTF-16 and back: bytes that are not code
  // page 936 come back as "?", and positions count in this copy.
  std::string copy;
};

bool Inside(std::string_view text, std::size_t length, int position) {
  return position >= 0 && static_cast<std::size_t>(position) <= length &&
         length - static_cast<std::size_t>(position) >= text.size();
}

// A position is -2, or inside the subject at the 0-based byte offset where
// `text` stands in the object's copy, compared as FindText compares with the
// object's case option.
void CheckPosition(std::string_view what, const Searched& searched, const std::string& text,
                   int position, bool ignoreCase, const std::string& pattern) {
  if (position == -2) return;
  if (!Inside(text, searched.subject.size(), position) ||
      !Inside(text, searched.copy.size(), position) ||
      !reference::MatchesAt(searched.copy, static_cast<std::size_t>(position), text, ignoreCase)) {
    Fail(what, {Text("pattern", pattern), Text("subject", searched.subject),
                Text("copy", searched.copy), Text("text", text), Number("position", position)});
  }
}

}  // namespace
}  // namespace velinor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velinor;
  fuzz::InputSource in(data, size, kTokens);
  const std::string pattern = in.Text(48);
  const std::string subject = in.Text(300);
  const std::string replacement = in.Text(16);
  const std::optional<bool> caseSensitive = Option(in);
  const std::optional<bool> multiline = Option(in);
  const std::optional<bool> global = Option(in);
  const std::optional<bool> expandQuoteMarker = Option(in);
  const bool ignoreCase = !caseSensitive.value_or(false);
  const Searched searched{subject, Utf16ToAnsi(AnsiToUtf16(subject))};

  RegexObject regex;
  if (!regex.Create(pattern, subject, caseSensitive, multiline, global, expandQuoteMarker)) {
    return 0;
  }
  const int count = regex.MatchCount();
  if (count < 0 || (!global.value_or(true) && count > 1)) {
    Fail("MatchCount", {Text("pattern", pattern), Text("subject", subject),
                        Number("global", global.value_or(true)), Number("count", count)});
  }
  // Past both ends too: a match that is not there gives "".
  for (int i = 0; i <= count + 1 && i <= 12; ++i) {
    int position = -1;
    const std::string text = regex.MatchText(i, &position);
    if ((i == 0 || i > count) && !text.empty()) {
      Fail("MatchText of no match",
           {Text("pattern", pattern), Number("index", i), Text("text", text)});
    }
    CheckPosition("MatchText position", searched, text, position, ignoreCase, pattern);
    const int groups = i == 1 ? regex.SubMatchCount() : 3;
    for (int j = 0; j <= groups + 1 && j <= 6; ++j) {
      int groupPosition = -1;
      const std::string group = regex.SubMatchText(i, j, &groupPosition);
      CheckPosition("SubMatchText position", searched, group, groupPosition, ignoreCase, pattern);
    }
  }

  const std::string replaced = regex.Replace(replacement);
  if (replaced.find('\0') != std::string::npos) {
    Fail("Replace gives a text", {Text("pattern", pattern), Text("replaced", replaced)});
  }
  const std::unique_ptr<RegexObject> clone = regex.Clone();
  if (clone->MatchCount() != count || clone->MatchText(1) != regex.MatchText(1) ||
      clone->Replace(replacement) != replaced) {
    Fail("Clone shares the search", {Text("pattern", pattern), Text("subject", subject)});
  }
  return 0;
}
