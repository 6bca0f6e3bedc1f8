#include "web/header_stage.h"

#include "text/encoding.h"
#include "web/cookie_merge.h"

namespace velinor {
namespace {

// The status line's first nine bytes are the version and its space. A first
// line too short to reach position 10 has no status: searching on from there
// would hand out the next header line instead.
TextValue StatusOf(const TextValue& rawHeaders) {
  const int lineEnd = FindText(rawHeaders, "\r\n", 1, false);
  if (lineEnd < 10) return {};
  return TextMid(rawHeaders, 10, lineEnd - 10);
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
  for (const TextValue& line : SplitText(rawHeaders, "\r\n")) {
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
