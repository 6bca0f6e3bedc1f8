#include "web/charset_stage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/regex/hex.h"
#include "tests/regex/spy_object.h"
#include "text/automation.h"
#include "text/regexp_component.h"
#include "text/stream_component.h"

namespace velinor {
namespace {

using test::Hex;
using test::ToHex;

struct Outcome {
  TextValue result;
  int pumps = 0;
};

// The stage as WebRequest runs it: the result starts as the body taken as
// text, up to its first zero byte.
Outcome RunStage(std::string_view body) {
  const ByteBuffer bytes(body.begin(), body.end());
  Outcome outcome;
  outcome.result = BytesToText(bytes);
  const auto previous = SetProcessEventsHook([&] { ++outcome.pumps; });
  {
    CharsetStage stage;
    stage.Run(bytes, outcome.result);
  }
  SetProcessEventsHook(previous);
  return outcome;
}

// Filler that puts `tail` so that exactly `keep` of its bytes fall within the
// first 1024.
std::string Straddling(std::string_view tail, std::size_t keep) {
  return std::string(1024 - keep, 'x') + std::string(tail);
}

TEST(CharsetStage, Pages) {
  struct Row {
    const char* name;
    std::string body;
    std::string expected;  // hex of the code-page-936 result; "" for the body unchanged
  };
  const std::string utf8Meta = R"(<meta charset="utf-8">)";
  const Row rows[] = {
      {"utf-8, quoted", utf8Meta + "中文", ToHex(utf8Meta) + " d6d0 cec4"},
      {"utf-8 written in upper case, bare", "<META CHARSET=UTF-8>é€",
       ToHex("<META CHARSET=UTF-8>") + " a8a6 80"},
      {"http-equiv form",
       R"(<meta http-equiv="Content-Type" content="text/html; charset=utf-8">中)",
       ToHex(R"(<meta http-equiv="Content-Type" content="text/html; charset=utf-8">)") + " d6d0"},
      {"gbk in lower case is left alone", "<meta charset=\"gbk\">\xD6\xD0\x81", ""},
      {"gb2312 in lower case is left alone", "<meta charset=gb2312>\xD6\xD0\x81", ""},
      // Through the stream, the lone lead byte at the end becomes "?".
      {"GBK in upper case is converted", "<meta charset=\"GBK\">\xD6\xD0\x81",
       ToHex("<meta charset=\"GBK\">") + " d6d0 3f"},
      {"Gb2312 in mixed case is converted", "<meta charset=Gb2312>\x81",
       ToHex("<meta charset=Gb2312>") + " 3f"},
      {"no declaration", "<html><title>中文</title>", ""},
      {"empty body", "", ""},
      {"declaration from byte 1025 on", std::string(1024, 'x') + utf8Meta + "中", ""},
      // Only "iso-8859-1" of "iso-8859-15" is seen: windows-1252 reads 0xA4 as
      // the currency sign, where ISO-8859-15 has the euro sign.
      {"declaration across byte 1024: the name arrives cut short",
       Straddling(R"(<meta charset="iso-8859-15">)", 25) + "\xA4",
       ToHex(Straddling(R"(<meta charset="iso-8859-15">)", 25)) + " a1e8"},
      {"name of 200 bytes", "<meta charset=\"" + std::string(200, 'a') + "\">é", ""},
      {"name cut at a character outside [-\\w]", "<meta charset=utf+8>é", ""},
      {"no name after the optional character", "<meta charset=\"#utf-8\">é", ""},
      {"unknown name", "<meta charset=\"x-klingon\">é", ""},
      {"each invalid sequence becomes one \"?\"",
       utf8Meta + "A\xE4\xB8"
                  "B\xFF\xC0\x80"
                  "C",
       ToHex(utf8Meta) + " 41 3f 42 3f 3f 3f 43"},
      {"utf-16 in a tag means utf-8", "<meta charset=\"utf-16\">中",
       ToHex("<meta charset=\"utf-16\">") + " d6d0"},
      {"a tag over two lines is skipped for a later one",
       "<meta\ncharset=\"gbk\"><meta charset=\"utf-8\">中",
       ToHex("<meta\ncharset=\"gbk\"><meta charset=\"utf-8\">") + " d6d0"},
      {"windows-1252 by its latin1 label", "<meta charset=latin1>caf\xE9 \x80",
       ToHex("<meta charset=latin1>caf") + " a8a6 20 80"},
      {"a zero byte ends the converted text too", utf8Meta + "a" + std::string(1, '\0') + "b",
       ToHex(utf8Meta) + " 61"},
  };
  for (const Row& row : rows) {
    const Outcome outcome = RunStage(row.body);
    const std::string expected =
        row.expected.empty() ? ToHex(BytesToText(TextToBytes(row.body))) : row.expected;
    EXPECT_EQ(ToHex(outcome.result), ToHex(Hex(expected))) << row.name;
    EXPECT_EQ(outcome.pumps, 1) << row.name;
  }
}

TEST(CharsetStage, DrivesTheStreamInOrderWithTheNameAsWritten) {
  test::SpyScope spy("Adodb.Stream", MakeStreamComponent);
  const Outcome outcome = RunStage("<meta charset=\"Shift_JIS\">\x93\xFA");
  EXPECT_EQ(spy.log,
            (std::vector<std::string>{"Type=1", "Mode=3", "Open()", "Write()", "Position=0",
                                      "Type=2", "Charset=Shift_JIS", "ReadText()", "Close()"}));
  EXPECT_EQ(ToHex(outcome.result), ToHex("<meta charset=\"Shift_JIS\">") + " c8 d5");
  EXPECT_EQ(spy.made.object.use_count(), 1) << "the stage let go of the stream";
}

TEST(CharsetStage, NamesThatNeedNoConversionMakeNoStream) {
  test::SpyScope spy("Adodb.Stream", MakeStreamComponent);
  RunStage("<meta charset=gbk>");
  RunStage("<meta charset=gb2312>");
  RunStage("<title>x</title>");
  EXPECT_TRUE(spy.log.empty());
  EXPECT_TRUE(IsEmpty(spy.made));
}

TEST(CharsetStage, WithoutTheStreamComponentThePageStays) {
  const ComponentFactory original = RegisterComponent("Adodb.Stream", nullptr);
  const Outcome outcome = RunStage("<meta charset=utf-8>\xE4\xB8\xAD");
  RegisterComponent("Adodb.Stream", original);
  EXPECT_EQ(outcome.result, "<meta charset=utf-8>\xE4\xB8\xAD");
  EXPECT_EQ(outcome.pumps, 1);
}

TEST(CharsetStage, WithoutTheRegexComponentNothingRunsAndNothingIsPumped) {
  const ComponentFactory original = RegisterComponent("VBScript.RegExp", nullptr);
  const Outcome outcome = RunStage("<meta charset=utf-8>\xE4\xB8\xAD");
  RegisterComponent("VBScript.RegExp", original);
  EXPECT_EQ(outcome.result, "<meta charset=utf-8>\xE4\xB8\xAD");
  EXPECT_EQ(outcome.pumps, 0);
}

TEST(CharsetStage, ComInitialisationsNestAndBalance) {
  const int base = ComInitializationCount();
  int during = -1;
  const auto previous = SetProcessEventsHook([&] { during = ComInitializationCount(); });
  {
    CharsetStage stage;
    EXPECT_EQ(ComInitializationCount(), base + 1) << "the page pattern object's own";
    const std::string body = "<meta charset=utf-8>";
    TextValue result = body;
    stage.Run(ByteBuffer(body.begin(), body.end()), result);
    EXPECT_EQ(during, base + 2);
    EXPECT_EQ(ComInitializationCount(), base + 1);
  }
  SetProcessEventsHook(previous);
  EXPECT_EQ(ComInitializationCount(), base);
}

// A window event handled during the pump may start a request of its own.
TEST(CharsetStage, ANestedStageFromThePumpHasItsOwnObjects) {
  TextValue inner;
  bool nested = false;
  const auto previous = SetProcessEventsHook([&] {
    if (nested) return;
    nested = true;
    const std::string body = "<meta charset=utf-8>\xC3\xA9";
    inner = body;
    CharsetStage stage;
    stage.Run(ByteBuffer(body.begin(), body.end()), inner);
  });
  const std::string body = "<meta charset=big5>\xA4\xA4";
  TextValue outer = body;
  {
    CharsetStage stage;
    stage.Run(ByteBuffer(body.begin(), body.end()), outer);
  }
  SetProcessEventsHook(previous);
  EXPECT_EQ(ToHex(inner), ToHex("<meta charset=utf-8>") + " a8 a6");
  EXPECT_EQ(ToHex(outer), ToHex("<meta charset=big5>") + " d6 d0");
}

}  // namespace
}  // namespace velinor
