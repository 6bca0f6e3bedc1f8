#include "text/automation.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <utility>

#include "text/encoding.h"
#include "text/regexp_component.h"
#include "text/stream_component.h"

namespace velinor {
namespace {

thread_local int comInitializations = 0;
thread_local bool lastSucceeded = true;

bool Report(bool ok) {
  lastSucceeded = ok;
  return ok;
}

std::string LowerAscii(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

struct Registry {
  std::mutex mutex;
  std::map<std::string, ComponentFactory> factories{
      {"vbscript.regexp", MakeRegExpComponent},
      {"adodb.stream", MakeStreamComponent},
  };
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::u16string Ascii16(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// The way automation prints a double: up to 15 significant digits, no
// trailing zeros, an exponent only for very large or small magnitudes.
std::u16string FormatDouble(double value) {
  if (value == 0) return u"0";  // also -0
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return Ascii16(buffer);
}

std::optional<double> ParseNumber(std::u16string_view text) {
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  const auto first = ascii.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  const char* begin = ascii.c_str() + first;
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end == begin || !std::isfinite(value)) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return std::nullopt;
  return value;
}

// An object converts through its default member, as automation does; the
// depth bound keeps an object whose default value is itself from looping.
std::optional<std::u16string> ToString(const Variant& variant, int depth);

std::optional<Variant> DefaultValue(const ComObject& holder, int depth) {
  if (holder.object == nullptr || depth > 4) return std::nullopt;
  Variant value;
  if (!holder.object->Invoke("", DispatchKind::kPropertyGet, {}, value)) return std::nullopt;
  return value;
}

std::optional<std::u16string> ToString(const Variant& variant, int depth) {
  struct Visitor {
    int depth;
    std::optional<std::u16string> operator()(std::monostate) const { return std::u16string(); }
    std::optional<std::u16string> operator()(bool value) const {
      return value ? std::u16string(u"-1") : std::u16string(u"0");
    }
    std::optional<std::u16string> operator()(std::int32_t value) const {
      return Ascii16(std::to_string(value));
    }
    std::optional<std::u16string> operator()(double value) const { return FormatDouble(value); }
    std::optional<std::u16string> operator()(const std::u16string& value) const { return value; }
    // A byte array becomes a string of its bytes taken as UTF-16LE units.
    std::optional<std::u16string> operator()(const ByteArray& array) const {
      const std::span<const std::uint8_t> bytes = array.Bytes();
      std::u16string units(bytes.size() / 2, u'\0');
      for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
      }
      return units;
    }
    std::optional<std::u16string> operator()(const ComObject& holder) const {
      const auto value = DefaultValue(holder, depth + 1);
      if (!value) return std::nullopt;
      return ToString(*value, depth + 1);
    }
  };
  return std::visit(Visitor{depth}, variant);
}

std::optional<double> ToNumber(const Variant& variant, int depth) {
  struct Visitor {
    int depth;
    std::optional<double> operator()(std::monostate) const { return 0.0; }
    std::optional<double> operator()(bool value) const { return value ? -1.0 : 0.0; }
    std::optional<double> operator()(std::int32_t value) const { return value; }
    std::optional<double> operator()(double value) const { return value; }
    std::optional<double> operator()(const std::u16string& value) const {
      return ParseNumber(value);
    }
    std::optional<double> operator()(const ByteArray&) const { return std::nullopt; }
    std::optional<double> operator()(const ComObject& holder) const {
      const auto value = DefaultValue(holder, depth + 1);
      if (!value) return std::nullopt;
      return ToNumber(*value, depth + 1);
    }
  };
  return std::visit(Visitor{depth}, variant);
}

bool Dispatch(const ComObject& holder, std::string_view name, DispatchKind kind, Arguments args,
              Variant& result) {
  if (holder.object == nullptr) return Report(false);
  return Report(holder.object->Invoke(name, kind, args, result));
}

bool Put(ComObject& holder, std::string_view name, const Argument& value) {
  Variant ignored;
  return Dispatch(holder, name, DispatchKind::kPropertyPut, {&value, 1}, ignored);
}

Variant Get(const ComObject& holder, std::string_view name, std::optional<double> argument) {
  Variant result;
  bool ok = false;
  if (argument) {
    const Argument index(*argument);
    ok = Dispatch(holder, name, DispatchKind::kPropertyGet, {&index, 1}, result);
  } else {
    ok = Dispatch(holder, name, DispatchKind::kPropertyGet, {}, result);
  }
  if (!ok) return {};
  return result;
}

Variant Call(ComObject& holder, std::string_view name, std::initializer_list<Argument> args) {
  Variant result;
  if (!Dispatch(holder, name, DispatchKind::kMethod, {args.begin(), args.size()}, result)) {
    return {};
  }
  return result;
}

ComObject ObjectOf(Variant&& value) {
  if (auto* holder = std::get_if<ComObject>(&value); holder != nullptr && holder->object) {
    return std::move(*holder);
  }
  Report(false);
  return {};
}

TextValue TextOf(const Variant& value) {
  if (!lastSucceeded) return {};
  return VariantToText(value);
}

}  // namespace

bool AutomationObject::InvokeForText(std::string_view name, Arguments args, TextValue& text) {
  Variant result;
  if (!Invoke(name, DispatchKind::kMethod, args, result)) return false;
  if (const auto* units = std::get_if<std::u16string>(&result)) {
    text = Utf16ToAnsi(*units);  // uncopied: it may be a whole page
    return true;
  }
  const auto units = ToString(result, 0);
  if (!units) return false;
  text = Utf16ToAnsi(*units);
  return true;
}

Argument::Argument(std::string_view text) : own_(AnsiToUtf16(text)) {}

void CoInitialize(void*) { ++comInitializations; }

void CoUninitialize() {
  if (comInitializations > 0) --comInitializations;
}

int ComInitializationCount() { return comInitializations; }

bool AutomationSucceeded() { return lastSucceeded; }

ComponentFactory RegisterComponent(std::string_view progId, ComponentFactory factory) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  ComponentFactory& slot = registry.factories[LowerAscii(progId)];
  ComponentFactory previous = std::exchange(slot, std::move(factory));
  if (!slot) registry.factories.erase(LowerAscii(progId));
  return previous;
}

bool CreateObject(ComObject& holder, std::string_view progId) {
  if (comInitializations == 0) return Report(false);
  ComponentFactory factory;
  {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    const auto found = registry.factories.find(LowerAscii(progId));
    if (found == registry.factories.end()) return Report(false);
    factory = found->second;
  }
  std::shared_ptr<AutomationObject> object = factory();
  if (object == nullptr) return Report(false);
  holder.object = std::move(object);
  return Report(true);
}

bool WriteProperty(ComObject& holder, std::string_view name, bool value) {
  return Put(holder, name, Argument(value));
}

bool WriteProperty(ComObject& holder, std::string_view name, std::int32_t value) {
  return Put(holder, name, Argument(value));
}

bool WriteProperty(ComObject& holder, std::string_view name, std::string_view value) {
  return Put(holder, name, Argument(value));
}

Variant ReadProperty(const ComObject& holder, std::string_view name,
                     std::optional<double> argument) {
  return Get(holder, name, argument);
}

TextValue ReadTextProperty(const ComObject& holder, std::string_view name) {
  return TextOf(Get(holder, name, std::nullopt));
}

double ReadNumberProperty(const ComObject& holder, std::string_view name) {
  const Variant value = Get(holder, name, std::nullopt);
  if (!lastSucceeded) return 0;
  const auto number = VariantToNumber(value);
  Report(number.has_value());
  return number.value_or(0);
}

ComObject ReadObjectProperty(const ComObject& holder, std::string_view name,
                             std::optional<double> argument) {
  Variant value = Get(holder, name, argument);
  if (!lastSucceeded) return {};
  return ObjectOf(std::move(value));
}

void CallMethod(ComObject& holder, std::string_view name, std::initializer_list<Argument> args) {
  Call(holder, name, args);
}

TextValue CallTextMethod(ComObject& holder, std::string_view name,
                         std::initializer_list<Argument> args) {
  TextValue text;
  if (holder.object == nullptr) {
    Report(false);
    return text;
  }
  if (!Report(holder.object->InvokeForText(name, {args.begin(), args.size()}, text))) return {};
  return text;
}

ComObject CallObjectMethod(ComObject& holder, std::string_view name,
                           std::initializer_list<Argument> args) {
  Variant value = Call(holder, name, args);
  if (!lastSucceeded) return {};
  return ObjectOf(std::move(value));
}

bool IsEmpty(const ComObject& holder) { return holder.object == nullptr; }

void ClearObject(ComObject& holder) { holder.object.reset(); }

void CopyObject(ComObject& destination, const ComObject& source) {
  destination.object = source.object;
}

void AssignVariant(Variant& variant, std::string_view text) {
  variant = std::monostate{};
  variant = AnsiToUtf16(text);
}

void AssignVariant(Variant& variant, std::span<const std::uint8_t> bytes) {
  variant = std::monostate{};
  variant = ByteArray(ByteBuffer(bytes.begin(), bytes.end()));
}

TextValue VariantToText(const Variant& variant) {
  // A string, the common case and possibly a whole page, converts uncopied.
  if (const auto* units = std::get_if<std::u16string>(&variant)) {
    Report(true);
    return Utf16ToAnsi(*units);
  }
  const auto text = ToString(variant, 0);
  Report(text.has_value());
  return text ? Utf16ToAnsi(*text) : TextValue();
}

void ClearVariant(Variant& variant) { variant = std::monostate{}; }

void CopyVariant(Variant& destination, const Variant& source) {
  if (&destination != &source) destination = source;
}

std::optional<std::u16string> VariantToString(const Variant& variant) {
  return ToString(variant, 0);
}

std::optional<double> VariantToNumber(const Variant& variant) { return ToNumber(variant, 0); }

std::optional<bool> VariantToBool(const Variant& variant) {
  if (const auto* text = std::get_if<std::u16string>(&variant)) {
    std::string lower;
    for (char16_t c : *text) lower.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    lower = LowerAscii(lower);
    if (lower == "true") return true;
    if (lower == "false") return false;
  }
  const auto number = ToNumber(variant, 0);
  if (!number) return std::nullopt;
  return *number != 0;
}

std::optional<std::int32_t> VariantToInt(const Variant& variant) {
  const auto number = ToNumber(variant, 0);
  if (!number) return std::nullopt;
  const double rounded = std::nearbyint(*number);  // the default mode rounds half to even
  if (rounded < std::numeric_limits<std::int32_t>::min() ||
      rounded > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(rounded);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace velinor
