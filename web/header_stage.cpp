#include "web/header_stage.h"

#include "text/encoding.h"
#include "web/cookie_merge.h"

namespace velinor {
namespace {

// A header line ends at every CR LF pair of bytes. The transport keeps the
// server's bytes, and a line ending in an odd run of bytes 0x80-0xFF (a UTF-8
// reason phrase, say) would lend its CR to a two-byte character under the
// lead-byte rule and run on into the next line.
TextArray HeaderLines(std::string_view rawHeaders) {
  TextArray lines;
  std::size_t begin = 0;
  for (std::size_t end = rawHeaders.find("\r\n"); end != std::string_view::npos;
       end = rawHeaders.find("\r\n", begin)) {
    ArrayAppend(lines, rawHeaders.substr(begin, end - begin));
    begin = end + 2;
  }
  if (begin < rawHeaders.size()) ArrayAppend(lines, rawHeaders.substr(begin));
  return lines;
}

// The status line's first nine bytes are the version and its space. A first
// line too short to reach position 10 has no status: searching on from there
// would hand out the next header line instead.
TextValue StatusOf(const TextValue& rawHeaders) {
  const std::size_t lineEnd = rawHeaders.find("\r\n");
  if (lineEnd == TextValue::npos || lineEnd < 9) return {};
  return TextMid(rawHeaders, 10, static_cast<int>(lineEnd) - 9);
}

// Only the first name=value item of the line; its attributes are dropped.
TextValue CookiePairOf(const TextValue& line) {
  if (FindText(line, ";", 1, false) != -1) return TrimBoth(TextBetween(line, "Set-Cookie:", ";"));
  return TrimBoth(ReplaceText(line, "Set-Cookie:", "", 1, -1, false));
}

}  // namespace

void RunHeaderStage(const TextValue& rawHeaders, TextValue* sendCookies, bool autoMergeCookies,
                    const HeaderStageOutputs& outputs) {
  if (outputs.returnedHeaders) *outputs.returnedHeaders = rawHeaders;
  if (outputs.statusText) *outputs.statusText = StatusOf(rawHeaders);

  TextValue cookies;
  for (const TextValue& line : HeaderLines(rawHeaders)) {
    // The name test is exact in case and needs ": ", so "set-cookie: " and
    // "Set-Cookie:x" are not cookie lines.
    if (CompareExact(TextLeftOf(line, ": "), "Set-Cookie") == 0) {
      cookies = ConcatText(cookies, CookiePairOf(line), "; ");
    }
    if (CompareText(TextLeft(line, 10), "Location: ", false) == 0 && outputs.redirectAddress) {
      *outputs.redirectAddress = TextMid(line, 11, TextLength(line) - 10);
    }
    ProcessEvents();
  }
  cookies = TextLeft(cookies, TextLength(cookies) - 2);

  if (autoMergeCookies && sendCookies) {
    // Work on a copy: the caller may pass one variable as both outputs.
    TextValue sent = *sendCookies;
    cookies = MergeCookies(sent, cookies);
    if (outputs.returnedCookies) *outputs.returnedCookies = cookies;
    *sendCookies = sent;
  } else if (outputs.returnedCookies) {
    *outputs.returnedCookies = cookies;
  }
}

}  // namespace velinor
