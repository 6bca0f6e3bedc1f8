// MergeCookies over any two cookie texts: the result is the merge written out
// over the plain text walks, it is in normal form, and the arguments are
// rewritten as promised.
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_cookies.h"
#include "web/cookie_merge.h"

namespace {

constexpr std::string_view kTokens[] = {
    "a",     "b",    "A",        "=",        "1",        "2",       ";",
    "; ",    " ",    "\xA1\xA1", "=deleted", "=DELETED", "deleted", "\x81",
    "\x81;", "\xB0", "\xA1",     "\t",       "sid",      "==",      "\x81="};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velinor;
  using fuzz::Fail;
  using fuzz::Text;
  fuzz::InputSource in(data, size, kTokens);
  const std::string sentBefore = in.Text(200);
  const std::string returnedBefore = in.Text(200);

  std::string sent = sentBefore;
  std::string returned = returnedBefore;
  const std::string merged = MergeCookies(sent, returned);

  std::string wantSent = sentBefore;
  std::string wantReturned = returnedBefore;
  const std::string want = reference::MergeCookies(wantSent, wantReturned);
  if (merged != want) {
    Fail("MergeCookies", {Text("sent", sentBefore), Text("returned", returnedBefore),
                          Text("want", want), Text("got", merged)});
  }
  if (sent != merged) {
    Fail("MergeCookies leaves the merged text in its first argument",
         {Text("sent", sentBefore), Text("merged", merged), Text("first argument", sent)});
  }
  if (returned != wantReturned) {
    Fail("MergeCookies leaves the returned cookies without spaces",
         {Text("returned", returnedBefore), Text("want", wantReturned), Text("got", returned)});
  }
  if (const auto broken = reference::NormalFormBreak(merged)) {
    Fail("merged cookies in normal form",
         {Text("sent", sentBefore), Text("returned", returnedBefore), Text("merged", merged),
          Text("broken", *broken)});
  }

  const std::string entry = in.Text(40);
  if (CookieName(entry) != reference::CookieName(entry)) {
    Fail("CookieName", {Text("entry", entry), Text("want", reference::CookieName(entry)),
                        Text("got", CookieName(entry))});
  }
  return 0;
}
