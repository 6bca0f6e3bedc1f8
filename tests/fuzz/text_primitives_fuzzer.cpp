// The text primitives with texts, positions, counts and flags drawn from the
// input, each held against the plain walk of reference_text.h.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_text.h"
#include "text/encoding.h"
#include "text/text.h"

namespace velinor {
namespace {

using fuzz::Fail;
using fuzz::List;
using fuzz::Number;
using fuzz::Real;
using fuzz::Text;

constexpr std::string_view kTokens[] = {
    "a",        "A",        "b",    "B",        " ",           "\xA1\xA1",
    "\xA1",     "\x81",     "\x80", "\xFF",     "\xB0\x41",    "\x81\x61",
    "\x81\x41", ";",        "=",    "\r\n",     "Set-Cookie:", "1",
    "0",        ".",        "e",    "E",        "d",           "D",
    "+",        "-",        "\t",   "\xA3\xB1", "\xA3\xAE",    "\xA3\xB0",
    "\xA3\xE5", "\xA3\xAD", "9",    "\xA1\xAB", "\"",          "#\xD2\xFD\xBA\xC5",
    "<title>",
};

int Sign(int value) { return (value > 0) - (value < 0); }

void CheckFind(fuzz::InputSource& in, const std::string& text, const std::string& sought) {
  const int start = in.Position(text.size());
  const bool caseInsensitive = in.Flag();
  const int got = FindText(text, sought, start, caseInsensitive);
  const int want = reference::Find(text, sought, start, caseInsensitive);
  if (got != want) {
    Fail("FindText",
         {Text("text", text), Text("sought", sought), Number("start", start),
          Number("caseInsensitive", caseInsensitive), Number("want", want), Number("got", got)});
  }
}

void CheckSlices(fuzz::InputSource& in, const std::string& text) {
  const int n = in.Position(text.size());
  const int start = in.Position(text.size());
  const struct {
    const char* rule;
    std::string got;
    std::string want;
  } slices[] = {
      {"TextLeft", TextLeft(text, n), reference::Left(text, n)},
      {"TextRight", TextRight(text, n), reference::Right(text, n)},
      {"TextMid", TextMid(text, start, n), reference::Mid(text, start, n)},
  };
  for (const auto& slice : slices) {
    if (slice.got != slice.want) {
      Fail(slice.rule, {Text("text", text), Number("start", start), Number("n", n),
                        Text("want", slice.want), Text("got", slice.got)});
    }
  }
  if (TextLength(text) != static_cast<int>(text.size())) {
    Fail("TextLength", {Text("text", text), Number("got", TextLength(text))});
  }
}

// The begin offset is clamped into the buffer, the count cut to what remains.
void CheckBytes(fuzz::InputSource& in, const std::string& text) {
  const ByteBuffer bytes(text.begin(), text.end());
  const int start = in.Position(text.size());
  const int n = in.Position(text.size());
  const std::size_t begin = std::min(reference::Begin(start), bytes.size());
  const std::size_t count =
      n <= 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), bytes.size() - begin);
  const ByteBuffer mid = BytesMid(bytes, start, n);
  if (mid != ByteBuffer(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                        bytes.begin() + static_cast<std::ptrdiff_t>(begin + count))) {
    Fail("BytesMid", {Text("bytes", text), Number("start", start), Number("n", n),
                      Text("got", std::string(mid.begin(), mid.end()))});
  }
  const ByteBuffer left = BytesLeft(bytes, n);
  if (std::string(left.begin(), left.end()) != reference::Left(text, n)) {
    Fail("BytesLeft",
         {Text("bytes", text), Number("n", n), Text("got", std::string(left.begin(), left.end()))});
  }
}

void CheckReplace(fuzz::InputSource& in, const std::string& text, const std::string& sought,
                  const std::string& replacement) {
  const int start = in.Position(text.size());
  const int count = in.Choice(3) == 0 ? -1 : in.Count(3);
  const bool caseSensitive = in.Flag();
  const std::string got = ReplaceText(text, sought, replacement, start, count, caseSensitive);
  const std::string want =
      reference::Replace(text, sought, replacement, start, count, caseSensitive);
  if (got != want) {
    Fail("ReplaceText",
         {Text("text", text), Text("sought", sought), Text("replacement", replacement),
          Number("start", start), Number("count", count), Number("caseSensitive", caseSensitive),
          Text("want", want), Text("got", got)});
  }
}

void CheckSplit(fuzz::InputSource& in, const std::string& text, const std::string& delimiter) {
  std::optional<int> maximum;
  if (in.Flag()) maximum = in.Count(5);
  const TextArray got = SplitText(text, delimiter, maximum);
  const std::vector<std::string> want = reference::Split(text, delimiter, maximum);
  if (got != want) {
    Fail("SplitText",
         {Text("text", text), Text("delimiter", delimiter),
          Number("maximum", maximum.value_or(-999)), Number("maximumGiven", maximum.has_value()),
          List("want", want), List("got", got)});
  }
}

void CheckSpaces(const std::string& text) {
  if (TrimBoth(text) != reference::TrimBoth(text)) {
    Fail("TrimBoth", {Text("text", text), Text("want", reference::TrimBoth(text)),
                      Text("got", TrimBoth(text))});
  }
  if (RemoveSpaces(text) != reference::RemoveSpaces(text)) {
    Fail("RemoveSpaces", {Text("text", text), Text("want", reference::RemoveSpaces(text)),
                          Text("got", RemoveSpaces(text))});
  }
}

// Only equality is fixed for the case-blind order; the case-sensitive one is
// the order of the bytes.
void CheckCompare(const std::string& a, const std::string& b) {
  const int blind = CompareText(a, b, false);
  const int exact = CompareText(a, b, true);
  const bool blindEqual = reference::CompareKey(a, false) == reference::CompareKey(b, false);
  if ((blind == 0) != blindEqual || Sign(CompareText(b, a, false)) != -Sign(blind)) {
    Fail("CompareText, case ignored",
         {Text("a", a), Text("b", b), Number("got", blind),
          Number("reversed", CompareText(b, a, false)), Number("equalByRule", blindEqual)});
  }
  if (Sign(exact) != reference::ByteOrder(a, b)) {
    Fail("CompareText, case counts", {Text("a", a), Text("b", b), Number("got", exact),
                                      Number("want sign", reference::ByteOrder(a, b))});
  }
  if (CompareExact(a, b) != reference::ByteOrder(a, b)) {
    Fail("CompareExact", {Text("a", a), Text("b", b), Number("got", CompareExact(a, b)),
                          Number("want", reference::ByteOrder(a, b))});
  }
}

// The text with the case of some ASCII letters swapped, second bytes
// included: equal to it for CompareText only when no second byte changed.
std::string CaseVariant(fuzz::InputSource& in, const std::string& text) {
  std::string variant = text;
  const int stride = in.Choice(4) + 1;
  const int offset = in.Choice(3);
  for (std::size_t i = static_cast<std::size_t>(offset); i < variant.size();
       i += static_cast<std::size_t>(stride)) {
    char& c = variant[i];
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 32);
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c + 32);
    }
  }
  if (in.Flag()) variant.resize(variant.size() - std::min<std::size_t>(variant.size(), 1));
  return variant;
}

// The one rounding is strtof's, over the folded prefix written out plainly.
void CheckNumber(const std::string& text) {
  const float got = ToNumber(text);
  const float want = reference::Number(text);
  if (std::memcmp(&got, &want, sizeof got) != 0) {
    Fail("ToNumber",
         {Text("text", text), Text("number read", reference::NumberText(text).value_or("(none)")),
          Real("want", want), Real("got", got)});
  }
}

void CheckDelimiters(fuzz::InputSource& in, const std::string& text, const std::string& opening,
                     const std::string& closing) {
  const int start = in.Position(text.size());
  const bool caseInsensitive = in.Flag();
  const std::string leftOf = TextLeftOf(text, opening, start, caseInsensitive);
  if (leftOf != reference::LeftOf(text, opening, start, caseInsensitive)) {
    Fail("TextLeftOf", {Text("text", text), Text("delimiter", opening), Number("start", start),
                        Number("caseInsensitive", caseInsensitive),
                        Text("want", reference::LeftOf(text, opening, start, caseInsensitive)),
                        Text("got", leftOf)});
  }
  const std::string between = TextBetween(text, opening, closing, start, caseInsensitive);
  const std::string want = reference::Between(text, opening, closing, start, caseInsensitive);
  if (between != want) {
    Fail("TextBetween", {Text("text", text), Text("opening", opening), Text("closing", closing),
                         Number("start", start), Number("caseInsensitive", caseInsensitive),
                         Text("want", want), Text("got", between)});
  }
}

}  // namespace
}  // namespace velinor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velinor;
  fuzz::InputSource in(data, size, kTokens);
  const std::string text = in.Text(300);
  const std::string sought = in.Text(8);
  const std::string other = in.Text(24);

  CheckFind(in, text, sought);
  CheckSlices(in, text);
  CheckBytes(in, text);
  CheckReplace(in, text, sought, other);
  CheckSplit(in, text, sought);
  CheckSpaces(text);
  CheckCompare(text, other);
  CheckCompare(text, CaseVariant(in, text));
  CheckNumber(text);
  CheckNumber(other);
  CheckDelimiters(in, text, sought, other);
  return 0;
}
