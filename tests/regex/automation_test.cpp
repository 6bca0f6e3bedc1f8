#include "text/automation.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/regex/hex.h"

namespace velinor {
namespace {

using test::Hex;

// Holds one COM initialisation for a test, as a RegexObject or a request would.
class ComScope {
 public:
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() { CoUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

TEST(ComLibrary, CreationNeedsAnInitialisationAndTheyNest) {
  const int base = ComInitializationCount();
  ASSERT_EQ(base, 0) << "a previous test left the thread initialised";
  ComObject holder;
  EXPECT_FALSE(CreateObject(holder, "VBScript.RegExp"));
  EXPECT_TRUE(IsEmpty(holder));

  CoInitialize(nullptr);
  CoInitialize(nullptr);
  CoUninitialize();
  EXPECT_EQ(ComInitializationCount(), 1);
  EXPECT_TRUE(CreateObject(holder, "VBScript.RegExp"));
  CoUninitialize();
  // An unbalanced release does not leave a debt that a later pair would pay.
  CoUninitialize();
  EXPECT_EQ(ComInitializationCount(), 0);
  ComObject other;
  EXPECT_FALSE(CreateObject(other, "Adodb.Stream"));
  CoInitialize(nullptr);
  EXPECT_TRUE(CreateObject(other, "Adodb.Stream"));
  CoUninitialize();
}

TEST(ComLibrary, InitialisationBelongsToTheThread) {
  ComScope com;
  bool createdElsewhere = true;
  std::thread([&] {
    ComObject holder;
    createdElsewhere = CreateObject(holder, "VBScript.RegExp");
  }).join();
  EXPECT_FALSE(createdElsewhere);
  ComObject here;
  EXPECT_TRUE(CreateObject(here, "VBScript.RegExp"));
}

TEST(CreateObject, FindsNamesInAnyCaseAndKeepsTheHolderOnFailure) {
  ComScope com;
  for (const char* name : {"VBScript.RegExp", "vbscript.regexp", "ADODB.STREAM", "Adodb.Stream"}) {
    ComObject holder;
    EXPECT_TRUE(CreateObject(holder, name)) << name;
    EXPECT_FALSE(IsEmpty(holder)) << name;
  }
  ComObject holder;
  ASSERT_TRUE(CreateObject(holder, "VBScript.RegExp"));
  const auto before = holder.object;
  EXPECT_FALSE(CreateObject(holder, "VBScript.RegExpX"));
  EXPECT_FALSE(CreateObject(holder, ""));
  EXPECT_EQ(holder.object, before);
}

TEST(CreateObject, ReleasesWhatTheHolderHeld) {
  ComScope com;
  ComObject holder;
  ASSERT_TRUE(CreateObject(holder, "VBScript.RegExp"));
  const std::weak_ptr<AutomationObject> first = holder.object;
  ASSERT_TRUE(CreateObject(holder, "VBScript.RegExp"));
  EXPECT_TRUE(first.expired());
}

TEST(CreateObject, RegisteredFactoriesCanBeReplacedAndRemoved) {
  ComScope com;
  ComponentFactory original = RegisterComponent("adodb.stream", nullptr);
  ASSERT_TRUE(original);
  ComObject holder;
  EXPECT_FALSE(CreateObject(holder, "Adodb.Stream"));
  RegisterComponent("Adodb.Stream", [] { return std::shared_ptr<AutomationObject>(); });
  EXPECT_FALSE(CreateObject(holder, "Adodb.Stream")) << "a factory that makes nothing";
  RegisterComponent("Adodb.Stream", original);
  EXPECT_TRUE(CreateObject(holder, "Adodb.Stream"));
}

TEST(Properties, NamesMatchInAnyCase) {
  ComScope com;
  ComObject re;
  ASSERT_TRUE(CreateObject(re, "VBScript.RegExp"));
  EXPECT_TRUE(WriteProperty(re, "pattern", "a+b"));
  EXPECT_EQ(ReadTextProperty(re, "PATTERN"), "a+b");
  EXPECT_TRUE(WriteProperty(re, "IGNORECASE", true));
  EXPECT_EQ(VariantToText(ReadProperty(re, "ignorecase")), "-1");
  EXPECT_EQ(ReadNumberProperty(re, "IgnoreCase"), -1.0);
}

TEST(Properties, FailuresAreQuietAndGiveTheEmptyValue) {
  ComScope com;
  ComObject empty;
  EXPECT_FALSE(WriteProperty(empty, "Pattern", "x"));
  EXPECT_FALSE(AutomationSucceeded());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(ReadProperty(empty, "Pattern")));
  EXPECT_EQ(ReadTextProperty(empty, "Pattern"), "");
  EXPECT_EQ(ReadNumberProperty(empty, "Count"), 0.0);
  EXPECT_TRUE(IsEmpty(ReadObjectProperty(empty, "Item", 0)));
  EXPECT_EQ(CallTextMethod(empty, "Replace", {"a", "b"}), "");
  EXPECT_TRUE(IsEmpty(CallObjectMethod(empty, "Execute", {"a"})));
  CallMethod(empty, "Open");
  EXPECT_FALSE(AutomationSucceeded());

  ComObject re;
  ASSERT_TRUE(CreateObject(re, "VBScript.RegExp"));
  EXPECT_TRUE(AutomationSucceeded());
  EXPECT_FALSE(WriteProperty(re, "NoSuchProperty", 1));
  EXPECT_FALSE(WriteProperty(re, "Singleline", true));
  EXPECT_EQ(ReadTextProperty(re, "NoSuchProperty"), "");
  EXPECT_FALSE(AutomationSucceeded());
  // A number is not an object: the read gives an empty holder.
  EXPECT_TRUE(IsEmpty(ReadObjectProperty(re, "IgnoreCase")));
  EXPECT_FALSE(AutomationSucceeded());
  // Wrong argument counts fail the call, they do not guess.
  EXPECT_TRUE(IsEmpty(CallObjectMethod(re, "Execute")));
  EXPECT_EQ(CallTextMethod(re, "Replace", {"only one"}), "");
  EXPECT_FALSE(AutomationSucceeded());
}

TEST(Objects, CopiesShareOneObjectAndClearingReleasesIt) {
  ComScope com;
  ComObject a;
  ASSERT_TRUE(CreateObject(a, "VBScript.RegExp"));
  ComObject b;
  CopyObject(b, a);
  EXPECT_EQ(a.object, b.object);
  EXPECT_EQ(a.object.use_count(), 2);
  WriteProperty(b, "Pattern", "shared");
  EXPECT_EQ(ReadTextProperty(a, "Pattern"), "shared");
  const std::weak_ptr<AutomationObject> watch = a.object;
  ClearObject(a);
  EXPECT_TRUE(IsEmpty(a));
  EXPECT_FALSE(watch.expired());
  ClearObject(b);
  EXPECT_TRUE(watch.expired());
}

TEST(Variants, AssignCopyAndClear) {
  Variant text;
  AssignVariant(text, Hex("d6d0 cec4 41"));  // "中文A" in code page 936
  ASSERT_TRUE(std::holds_alternative<std::u16string>(text));
  EXPECT_EQ(std::get<std::u16string>(text), u"中文A");

  Variant bytes;
  const ByteBuffer raw{0x00, 0xFF, 0x41};
  AssignVariant(bytes, raw);
  ASSERT_TRUE(std::holds_alternative<ByteArray>(bytes));
  EXPECT_EQ(std::get<ByteArray>(bytes), ByteArray(raw));
  AssignVariant(bytes, "now text");
  EXPECT_EQ(VariantToText(bytes), "now text");

  Variant copy;
  CopyVariant(copy, text);
  AssignVariant(text, "changed");
  EXPECT_EQ(std::get<std::u16string>(copy), u"中文A");
  CopyVariant(copy, copy);
  EXPECT_EQ(std::get<std::u16string>(copy), u"中文A");

  ClearVariant(copy);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(copy));
  EXPECT_EQ(VariantToText(copy), "");
}

TEST(Variants, DefaultConversionToText) {
  struct Row {
    const char* name;
    Variant value;
    std::string text;
  };
  const Row rows[] = {
      {"empty", Variant(), ""},
      {"true", Variant(true), "-1"},
      {"false", Variant(false), "0"},
      {"integer", Variant(std::int32_t{-42}), "-42"},
      {"whole double", Variant(3.0), "3"},
      {"fraction", Variant(1.5), "1.5"},
      {"tenth", Variant(0.1), "0.1"},
      {"huge", Variant(1e20), "1E+20"},
      {"negative zero", Variant(-0.0), "0"},
      {"chinese", Variant(std::u16string(u"中文")), Hex("d6d0 cec4")},
      {"euro is 0x80", Variant(std::u16string(u"€")), Hex("80")},
      {"hangul has no form", Variant(std::u16string(u"a가b")), "a?b"},
      // A byte array reads as the UTF-16LE units it holds.
      {"bytes", Variant(ByteArray({0x41, 0x00, 0x2D, 0x4E})), Hex("41 d6 d0")},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(test::ToHex(VariantToText(row.value)), test::ToHex(row.text)) << row.name;
  }
}

TEST(Variants, ObjectsConvertThroughTheirDefaultMember) {
  ComScope com;
  ComObject re;
  ASSERT_TRUE(CreateObject(re, "VBScript.RegExp"));
  WriteProperty(re, "Pattern", "b+");
  ComObject matches = CallObjectMethod(re, "Execute", {"abbc"});
  const Variant match = ReadProperty(matches, "Item", 0);
  ASSERT_TRUE(std::holds_alternative<ComObject>(match));
  EXPECT_EQ(VariantToText(match), "bb");
  // The engine itself has no default member.
  EXPECT_EQ(VariantToText(Variant(re)), "");
  EXPECT_FALSE(AutomationSucceeded());
}

TEST(Variants, IndexArgumentsRoundHalfToEven) {
  const struct {
    double in;
    std::int32_t out;
  } rows[] = {{0.0, 0}, {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.4, 0}, {1.49, 1}};
  for (const auto& row : rows) {
    EXPECT_EQ(VariantToInt(Variant(row.in)), row.out) << row.in;
  }
  EXPECT_FALSE(VariantToInt(Variant(1e12)).has_value());
  EXPECT_FALSE(VariantToInt(Variant(std::u16string(u"x"))).has_value());
  EXPECT_EQ(VariantToInt(Variant(std::u16string(u" 7 "))), 7);
}

}  // namespace
}  // namespace velinor
