#include "web/cookie_merge.h"

#include <cstddef>

namespace velinor {

TextValue MergeCookies(TextValue& sent, TextValue& returned) {
  sent = RemoveSpaces(sent);
  returned = RemoveSpaces(returned);
  const TextArray sentEntries = SplitText(sent, ";");
  TextArray merged = SplitText(returned, ";");

  // `merged` grows inside the loop, so of several sent entries with one
  // name only the first is taken over.
  const int sentCount = ArrayCount(sentEntries);
  for (int i = 0; i < sentCount; ++i) {
    const TextValue& entry = sentEntries[static_cast<std::size_t>(i)];
    if (!HasCookieName(merged, CookieName(entry))) ArrayAppend(merged, entry);
  }

  TextValue joined;
  for (const TextValue& entry : merged) {
    if (CompareExact(TextRight(entry, 8), "=deleted") != 0)
      joined = ConcatText(joined, entry, "; ");
  }
  joined = TextLeft(joined, TextLength(joined) - 2);
  sent = JoinDistinct(joined, "; ", true);
  return sent;
}

TextValue CookieName(std::string_view entry) {
  const int equals = FindText(entry, "=", 1, false);
  return TrimBoth(equals == -1 ? TextValue(entry) : TextLeft(entry, equals - 1));
}

bool HasCookieName(const TextArray& list, std::string_view name) {
  for (const TextValue& element : ArrayElements(list)) {
    if (CompareExact(CookieName(element), name) == 0) return true;
  }
  return false;
}

int FindInList(const TextArray& list, std::string_view text) {
  const std::span<const TextValue> elements = ArrayElements(list);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (CompareExact(elements[i], text) == 0) return static_cast<int>(i) + 1;
  }
  return -1;
}

int SplitChars(std::string_view text, TextArray& list, int /*unused*/) {
  list.clear();
  list.shrink_to_fit();
  const ByteBuffer bytes = TextToBytes(text);
  const int length = BytesLength(bytes);
  for (int d = 1; d <= length;) {
    int width = 1;
    if (d < length) {
      const std::uint8_t byte = bytes[static_cast<std::size_t>(d - 1)];
      const std::uint8_t next = bytes[static_cast<std::size_t>(d)];
      // 0x80 stands alone here, unlike the lead-byte rule of the text primitives.
      if (byte >= 0x81 || (byte == 0x0D && next == 0x0A)) width = 2;
    }
    ArrayAppend(list, BytesToText(BytesMid(bytes, d, width)));
    d += width;
  }
  return ArrayCount(list);
}

TextValue JoinDistinct(std::string_view text, std::string_view delimiter, bool splitAtDelimiter) {
  TextArray pieces;
  if (splitAtDelimiter) {
    pieces = SplitText(text, delimiter);
  } else {
    SplitChars(text, pieces, 1);
  }
  TextArray distinct;
  TextValue joined;
  for (const TextValue& piece : pieces) {
    if (FindInList(distinct, piece) == -1) {
      ArrayAppend(distinct, piece);
      joined = ConcatText(joined, piece, delimiter);
    }
  }
  return TextLeft(joined, TextLength(joined) - TextLength(delimiter));
}

}  // namespace velinor
