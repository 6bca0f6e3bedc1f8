// The header stage over raw header texts: either header lines as the
// transport stores them (the server's bytes without the line's own LF, each
// line ended by CR LF, then an empty line), or any bytes at all. The outputs
// are held against the stage written out over the plain text walks, and
// against what they may never hold.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_cookies.h"
#include "tests/fuzz/reference_text.h"
#include "text/text.h"
#include "web/cookie_merge.h"
#include "web/header_stage.h"

namespace velinor {
namespace {

using fuzz::Fail;
using fuzz::Number;
using fuzz::Text;

constexpr std::string_view kTokens[] = {"HTTP/1.1 ",    "200",
                                        " OK",          "Set-Cookie: ",
                                        "Set-Cookie:",  "set-cookie: ",
                                        "Location: ",   "LOCATION: ",
                                        "a=1",          "b",
                                        "; ",           ";",
                                        "=deleted",     " ",
                                        "\xA1\xA1",     "\x81",
                                        "\xE2\x9C\x93", "\r",
                                        ": ",           "path=/",
                                        "\xB0",         "\t",
                                        "\xD6\xD0"};

constexpr char kUnwritten[] = "\x01unwritten";

struct Expected {
  std::string status;
  std::string cookies;  // before any merge
  std::optional<std::string> location;
  int lines = 0;
};

// A line ends at every CR LF pair of bytes, whatever stands before the CR.
std::vector<std::string> Lines(std::string_view raw) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  for (std::size_t end; (end = raw.find("\r\n", begin)) != std::string_view::npos;
       begin = end + 2) {
    lines.emplace_back(raw.substr(begin, end - begin));
  }
  if (begin < raw.size()) lines.emplace_back(raw.substr(begin));
  return lines;
}

Expected Stage(std::string_view raw) {
  Expected want;
  // The status follows the version and its space, the first nine bytes.
  const std::size_t lineEnd = raw.find("\r\n");
  if (lineEnd != std::string_view::npos && lineEnd >= 9) {
    want.status = raw.substr(9, lineEnd - 9);
  }
  std::string cookies;
  for (const std::string& line : Lines(raw)) {
    ++want.lines;
    if (reference::LeftOf(line, ": ", 0, false) == "Set-Cookie") {
      const std::string pair = reference::Find(line, ";", 1, false) != -1
                                   ? reference::Between(line, "Set-Cookie:", ";", 0, false)
                                   : reference::Replace(line, "Set-Cookie:", "", 1, -1, false);
      cookies += reference::TrimBoth(pair) + "; ";
    }
    if (reference::CompareKey(reference::Left(line, 10), false) ==
        reference::CompareKey("Location: ", false)) {
      want.location = reference::Mid(line, 11, static_cast<int>(line.size()) - 10);
    }
  }
  want.cookies = reference::Left(cookies, static_cast<int>(cookies.size()) - 2);
  return want;
}

std::string RawFromLines(fuzz::InputSource& in) {
  std::string raw;
  const int count = in.Choice(10);
  for (int i = 0; i < count; ++i) {
    std::string line = in.Text(80);
    std::erase(line, '\n');
    raw += line + "\r\n";
  }
  return raw + "\r\n";
}

}  // namespace
}  // namespace velinor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velinor;
  fuzz::InputSource in(data, size, kTokens);
  const bool asLines = in.Flag();
  const TextValue raw = asLines ? RawFromLines(in) : in.Text(600);
  const bool sendGiven = in.Flag();
  const bool merge = in.Flag();
  const bool oneVariable = in.Flag();
  const std::string sentBefore = in.Text(60);

  TextValue headers = kUnwritten;
  TextValue status = kUnwritten;
  TextValue returned = kUnwritten;
  TextValue location = kUnwritten;
  TextValue sent = sentBefore;
  int events = 0;
  const auto previous = SetProcessEventsHook([&] { ++events; });
  // The caller may keep its cookies in one variable and pass it as both.
  RunHeaderStage(raw, sendGiven ? &sent : nullptr, merge,
                 {.returnedHeaders = &headers,
                  .statusText = &status,
                  .returnedCookies = oneVariable && sendGiven ? &sent : &returned,
                  .redirectAddress = &location});
  SetProcessEventsHook(previous);
  if (oneVariable && sendGiven) returned = sent;

  const Expected want = Stage(raw);
  std::string wantCookies = want.cookies;
  std::string wantSent = sentBefore;
  if (merge && sendGiven) wantCookies = reference::MergeCookies(wantSent, wantCookies);
  const std::string wantLocation = want.location.value_or(kUnwritten);

  if (headers != raw)
    Fail("ReturnedHeaders is the raw text", {Text("raw", raw), Text("got", headers)});
  if (status != want.status || status.find("\r\n") != std::string::npos ||
      (asLines && status.find('\n') != std::string::npos)) {
    Fail("StatusText is the rest of the status line",
         {Text("raw", raw), Text("want", want.status), Text("got", status)});
  }
  if (returned != wantCookies) {
    Fail("ReturnedCookies", {Text("raw", raw), Text("sent", sentBefore), Number("merge", merge),
                             Number("sendGiven", sendGiven), Number("oneVariable", oneVariable),
                             Text("want", wantCookies), Text("got", returned)});
  }
  if (merge && sendGiven) {
    if (sent != returned) {
      Fail("SendCookies holds the merged cookies",
           {Text("raw", raw), Text("sent", sentBefore), Text("merged", returned),
            Text("SendCookies", sent)});
    }
    if (const auto broken = reference::NormalFormBreak(returned)) {
      Fail("merged cookies in normal form",
           {Text("raw", raw), Text("merged", returned), Text("broken", *broken)});
    }
  } else if (!oneVariable && sent != sentBefore) {
    Fail("SendCookies untouched without a merge",
         {Text("raw", raw), Text("sent", sentBefore), Text("SendCookies", sent)});
  }
  if (location != wantLocation || location.find("\r\n") != std::string::npos) {
    Fail("RedirectAddress", {Text("raw", raw), Text("want", wantLocation), Text("got", location)});
  }
  if (events != want.lines) {
    Fail("ProcessEvents once per line",
         {Text("raw", raw), Number("lines", want.lines), Number("calls", events)});
  }
  return 0;
}
