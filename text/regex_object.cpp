#include "text/regex_object.h"

#include <cstdint>

namespace velinor {
namespace {

// "#引号" in code page 936.
constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

int Truncate(double value) { return static_cast<int>(value); }

}  // namespace

RegexObject::RegexObject() : subject(std::int32_t{0}) { CoInitialize(nullptr); }

RegexObject::~RegexObject() {
  ClearObject(engine);
  ClearObject(matches);
  ClearVariant(subject);
  CoUninitialize();
}

std::unique_ptr<RegexObject> RegexObject::Clone() const {
  auto clone = std::make_unique<RegexObject>();
  CopyObject(clone->engine, engine);
  CopyObject(clone->matches, matches);
  CopyVariant(clone->subject, subject);
  return clone;
}

bool RegexObject::Create(std::string_view pattern, std::string_view subjectText,
                         std::optional<bool> caseSensitive, std::optional<bool> multiline,
                         std::optional<bool> global, std::optional<bool> expandQuoteMarker) {
  ClearObject(engine);
  ClearObject(matches);
  CreateObject(engine, "VBScript.RegExp");
  WriteProperty(engine, "IgnoreCase", !caseSensitive.value_or(false));
  WriteProperty(engine, "Multiline", multiline.value_or(true));
  // The engine has no such option; the write fails and changes nothing.
  WriteProperty(engine, "Singleline", true);
  WriteProperty(engine, "Global", global.value_or(true));
  const TextValue patternText = expandQuoteMarker.value_or(false)
                                    ? ReplaceText(pattern, kQuoteMarker, "\"", 1, -1, true)
                                    : TextValue(pattern);
  WriteProperty(engine, "Pattern", patternText);
  AssignVariant(subject, subjectText);
  matches = CallObjectMethod(engine, "Execute", {subject});
  return !IsEmpty(matches);
}

void RegexObject::NoOp() {}

TextValue RegexObject::GetPattern() const {
  if (IsEmpty(engine)) return {};
  return ReadTextProperty(engine, "Pattern");
}

TextValue RegexObject::Replace(std::string_view replacement) const {
  Variant replacementValue;
  AssignVariant(replacementValue, replacement);
  // The engine's methods do not change the engine; the holder is only copied
  // to call through it.
  ComObject caller = engine;
  TextValue result = CallTextMethod(caller, "Replace", {subject, replacementValue});
  ClearVariant(replacementValue);
  return result;
}

int RegexObject::MatchCount() const { return Truncate(ReadNumberProperty(matches, "Count")); }

TextValue RegexObject::MatchText(int matchIndex, int* position) const {
  ComObject match = ReadObjectProperty(matches, "Item", double(matchIndex) - 1);
  TextValue text = VariantToText(ReadProperty(match, "Value"));
  if (position != nullptr) *position = BytePosition(text, match);
  ClearObject(match);
  return text;
}

TextValue RegexObject::SubMatchText(int matchIndex, int subMatchIndex, int* position) const {
  ComObject match = ReadObjectProperty(matches, "Item", double(matchIndex) - 1);
  ComObject subs = ReadObjectProperty(match, "SubMatches");
  TextValue text = VariantToText(ReadProperty(subs, "Item", double(subMatchIndex) - 1));
  // The engine gives no offset of its own for a group: search from the match's.
  if (position != nullptr) *position = BytePosition(text, match);
  ClearObject(match);
  ClearObject(subs);
  return text;
}

int RegexObject::SubMatchCount() const {
  ComObject first = ReadObjectProperty(matches, "Item", 0.0);
  ComObject subs = ReadObjectProperty(first, "SubMatches");
  return Truncate(ReadNumberProperty(subs, "Count"));
}

// The engine counts UTF-16 units of its own copy of the text, never more than
// the byte offset in code page 936, so the text is searched for from there on.
int RegexObject::BytePosition(std::string_view found, const ComObject& match) const {
  const TextValue searched = VariantToText(subject);
  const int firstIndex = Truncate(ReadNumberProperty(match, "FirstIndex"));
  const TextValue ignoreCase = VariantToText(ReadProperty(engine, "IgnoreCase"));
  const int p = FindText(searched, found, firstIndex == 0 ? 1 : firstIndex,
                         CompareExact(ignoreCase, "0") != 0);
  return p - 1;
}

}  // namespace velinor
