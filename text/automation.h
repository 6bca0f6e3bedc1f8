// A small late-bound automation (COM) layer: objects made by programmatic
// name, whose properties and methods are found by name at run time, and the
// variant values that travel between them and their callers.
//
// Every operation is quiet: a failure gives the empty value of its result
// kind ("" for a text, 0 for a number, an empty holder or Variant) and is
// recorded in a per-thread status (AutomationSucceeded).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "text/text.h"

namespace velinor {

class AutomationObject;

// A holder of at most one reference to an automation object. Copying it takes
// one more reference to the same object; an empty holder holds none.
struct ComObject {
  std::shared_ptr<AutomationObject> object;
};

// The byte array of a Variant. It never changes once made, so copies share
// one buffer: a whole page handed to a stream is not copied again.
class ByteArray {
 public:
  ByteArray() = default;
  explicit ByteArray(ByteBuffer bytes)
      : buffer_(std::make_shared<const ByteBuffer>(std::move(bytes))) {}

  std::span<const std::uint8_t> Bytes() const {
    return buffer_ ? std::span<const std::uint8_t>(*buffer_) : std::span<const std::uint8_t>();
  }
  std::shared_ptr<const ByteBuffer> Shared() const { return buffer_; }

  friend bool operator==(const ByteArray& a, const ByteArray& b) {
    return std::ranges::equal(a.Bytes(), b.Bytes());
  }

 private:
  std::shared_ptr<const ByteBuffer> buffer_;
};

// An automation variant: empty, boolean, 32-bit integer, floating point,
// UTF-16 string, byte array or object.
using Variant =
    std::variant<std::monostate, bool, std::int32_t, double, std::u16string, ByteArray, ComObject>;

// One argument of a property read or a method call. Texts are converted from
// code page 936 to UTF-16; numbers, booleans and Variants pass as they are (a
// Variant by reference, so a large byte array is not copied).
class Argument {
 public:
  // Implicit on purpose: calls list their arguments as plain values.
  Argument(const Variant& value) : ref_(&value) {}
  Argument(std::string_view text);
  Argument(const char* text) : Argument(std::string_view(text)) {}
  Argument(const std::string& text) : Argument(std::string_view(text)) {}
  Argument(bool value) : own_(value) {}
  Argument(std::int32_t value) : own_(value) {}
  Argument(double value) : own_(value) {}

  const Variant& Value() const { return ref_ != nullptr ? *ref_ : own_; }

 private:
  Variant own_;
  const Variant* ref_ = nullptr;
};

using Arguments = std::span<const Argument>;

enum class DispatchKind { kPropertyGet, kPropertyPut, kMethod };

// The object model every component implements. Names are matched without
// regard to ASCII case. Returns false when the member is unknown, the
// arguments do not fit or the operation fails; `result` is then untouched.
// A property write passes the new value as the last argument.
class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  virtual bool Invoke(std::string_view name, DispatchKind kind, Arguments args,
                      Variant& result) = 0;

  // A method's result as code-page-936 text: Invoke, then VariantToText. An
  // object whose results can be large (a whole page) may answer in code page
  // 936 directly, sparing the UTF-16 copy, as long as the text is the same.
  virtual bool InvokeForText(std::string_view name, Arguments args, TextValue& text);
};

// --- the COM library of the thread -----------------------------------------

// Initialisations nest per thread; objects can be created only while the
// thread holds at least one.
void CoInitialize(void* reserved = nullptr);
// Releases one initialisation; does nothing when the thread holds none.
void CoUninitialize();
int ComInitializationCount();

// True when the last automation operation on this thread succeeded.
bool AutomationSucceeded();

// --- the registry of programmatic names -------------------------------------

using ComponentFactory = std::function<std::shared_ptr<AutomationObject>()>;
// Installs `factory` under `progId` (case-insensitive) and returns the one it
// replaces; an empty factory removes the name. "VBScript.RegExp" and
// "Adodb.Stream" are present from the start.
ComponentFactory RegisterComponent(std::string_view progId, ComponentFactory factory);

// --- operations on holders ---------------------------------------------------

// On success the holder releases what it held and holds the new object; on
// failure it is unchanged.
bool CreateObject(ComObject& holder, std::string_view progId);

bool WriteProperty(ComObject& holder, std::string_view name, bool value);
bool WriteProperty(ComObject& holder, std::string_view name, std::int32_t value);
bool WriteProperty(ComObject& holder, std::string_view name, std::string_view value);
// Without it a string literal would pick the bool overload.
inline bool WriteProperty(ComObject& holder, std::string_view name, const char* value) {
  return WriteProperty(holder, name, std::string_view(value));
}

Variant ReadProperty(const ComObject& holder, std::string_view name,
                     std::optional<double> argument = std::nullopt);
TextValue ReadTextProperty(const ComObject& holder, std::string_view name);
double ReadNumberProperty(const ComObject& holder, std::string_view name);
ComObject ReadObjectProperty(const ComObject& holder, std::string_view name,
                             std::optional<double> argument = std::nullopt);

void CallMethod(ComObject& holder, std::string_view name,
                std::initializer_list<Argument> args = {});
TextValue CallTextMethod(ComObject& holder, std::string_view name,
                         std::initializer_list<Argument> args = {});
ComObject CallObjectMethod(ComObject& holder, std::string_view name,
                           std::initializer_list<Argument> args = {});

bool IsEmpty(const ComObject& holder);
void ClearObject(ComObject& holder);
void CopyObject(ComObject& destination, const ComObject& source);

// --- operations on Variants --------------------------------------------------

// The previous value is released first.
void AssignVariant(Variant& variant, std::string_view text);
void AssignVariant(Variant& variant, std::span<const std::uint8_t> bytes);
inline void AssignVariant(Variant& variant, const char* text) {
  AssignVariant(variant, std::string_view(text));
}

// The default conversion to a string, in code page 936: "-1"/"0" for a
// boolean, "" for an empty Variant.
TextValue VariantToText(const Variant& variant);
void ClearVariant(Variant& variant);
void CopyVariant(Variant& destination, const Variant& source);

// --- helpers for components ----------------------------------------------------

// The default conversion to a UTF-16 string; nullopt when there is none.
std::optional<std::u16string> VariantToString(const Variant& variant);
// Numbers and booleans (true is -1) as a double; strings holding a number too.
std::optional<double> VariantToNumber(const Variant& variant);
std::optional<bool> VariantToBool(const Variant& variant);
// A number rounded half to even, as automation index arguments are.
std::optional<std::int32_t> VariantToInt(const Variant& variant);
// ASCII case-insensitive equality of member names.
bool SameName(std::string_view a, std::string_view b);

}  // namespace velinor
