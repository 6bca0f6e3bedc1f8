// The charset stage over page bodies: any bytes, or a page that declares a
// charset of our choosing in a meta tag. The result never holds a zero byte,
// a page without "<meta" and a page in gbk or gb2312 stay as they came, a
// charset nobody knows changes nothing, and a page declared UTF-8 becomes
// its UTF-8 text as ICU converts it.
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "text/encoding.h"
#include "text/text.h"
#include "web/charset_stage.h"

namespace velinor {
namespace {

using fuzz::Fail;
using fuzz::Number;
using fuzz::Text;

constexpr std::string_view kTokens[] = {"<meta",
                                        " ",
                                        "charset=",
                                        "content=\"text/html; ",
                                        "\"",
                                        "'",
                                        ">",
                                        "\n",
                                        "utf-8",
                                        "gbk",
                                        "\xD6\xD0",
                                        "\xE4\xB8\xAD",
                                        "\xEF\xBB\xBF",
                                        "\xFF\xFE",
                                        "<META ",
                                        "a",
                                        "\xB0",
                                        "\x81",
                                        "-",
                                        "x",
                                        "<title>",
                                        "\xC3\x28",
                                        "\xED\xA0\x80",
                                        "\xF0\x9F\x98\x80",
                                        "=",
                                        "_"};

struct Declared {
  std::string_view name;
  enum { kUnchanged, kUtf8, kAny } outcome;
};

constexpr Declared kCharsets[] = {
    {"gbk", Declared::kUnchanged},
    {"gb2312", Declared::kUnchanged},
    {"no-such-charset", Declared::kUnchanged},
    {"utf-8", Declared::kUtf8},
    {"UTF-8", Declared::kUtf8},
    {"utf8", Declared::kUtf8},
    {"utf-16le", Declared::kUtf8},
    {"GBK", Declared::kAny},
    {"x-user-defined", Declared::kAny},
    {"big5", Declared::kAny},
    {"shift_jis", Declared::kAny},
    {"latin1", Declared::kAny},
    {"GB18030", Declared::kAny},
    {"iso-2022-jp", Declared::kAny},
    {"utf-7", Declared::kAny},
};

bool HasMeta(std::string_view text) {
  constexpr std::string_view kMeta = "<meta";
  for (std::size_t at = 0; at + kMeta.size() <= text.size(); ++at) {
    bool same = true;
    for (std::size_t i = 0; i < kMeta.size() && same; ++i) {
      const char c = text[at + i];
      same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) == kMeta[i];
    }
    if (same) return true;
  }
  return false;
}

TextValue RunStage(const ByteBuffer& body, int& events) {
  TextValue result = BytesToText(body);
  events = 0;
  const auto previous = SetProcessEventsHook([&] { ++events; });
  CharsetStage stage;
  stage.Run(body, result);
  SetProcessEventsHook(previous);
  return result;
}

}  // namespace
}  // namespace velinor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velinor;
  fuzz::InputSource in(data, size, kTokens);
  std::string page;
  const Declared* declared = nullptr;
  if (in.Flag()) {
    // No "<" before the tag, so that the tag is the first match; a space
    // after the prefix, so that no lead byte takes the tag's "<".
    std::string prefix = in.Text(300);
    std::erase(prefix, '<');
    declared = &kCharsets[in.Choice(static_cast<int>(std::size(kCharsets)) - 1)];
    const std::string_view quote = in.Choice(2) == 0 ? "\"" : "";
    page = prefix + " <meta charset=" + std::string(quote) + std::string(declared->name) + ">" +
           in.Text(400);
  } else {
    page = in.Text(1500);
  }
  // A zero byte ends the text but not the body.
  if (in.Flag()) page += std::string(1, '\0') + in.Text(20);
  const ByteBuffer body(page.begin(), page.end());
  const TextValue before = BytesToText(body);

  int events = 0;
  const TextValue result = RunStage(body, events);
  if (result.find('\0') != TextValue::npos) {
    Fail("no zero byte in the result", {Text("body", page), Text("result", result)});
  }
  if (events != 1) {
    Fail("ProcessEvents once", {Text("body", page), Number("calls", events)});
  }
  int again = 0;
  if (RunStage(body, again) != result) Fail("the same page twice", {Text("body", page)});

  const bool unchanged =
      !HasMeta(TextLeft(before, 1024)) || (declared && declared->outcome == Declared::kUnchanged);
  if (unchanged && result != before) {
    Fail("the page stays as it came", {Text("body", page), Text("result", result)});
  }
  // A UTF-16 byte-order mark outranks the declaration; a UTF-8 one is dropped.
  const std::string_view bytes(page);
  if (declared && declared->outcome == Declared::kUtf8 && !bytes.starts_with("\xFF\xFE") &&
      !bytes.starts_with("\xFE\xFF")) {
    const TextValue want = Utf8ToAnsi(bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes);
    if (result != want) {
      Fail("a page declared UTF-8", {Text("body", page), Text("want", want), Text("got", result)});
    }
  }
  return 0;
}
