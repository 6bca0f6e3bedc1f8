#include "text/stream_component.h"

#include <gtest/gtest.h>

#include "tests/regex/hex.h"

namespace velinor {
namespace {

using test::Hex;

ByteBuffer Bytes(std::string_view hex) {
  const std::string raw = Hex(hex);
  return {raw.begin(), raw.end()};
}

TEST(DecodeBytes, CharsetsMarksAndInvalidSequences) {
  struct Row {
    const char* name;
    const char* charset;
    const char* hex;
    std::u16string expected;
  };
  const Row rows[] = {
      {"utf-8", "utf-8", "e4b8ad e69687", u"中文"},
      {"label trimmed and folded", " UTF8\t", "41", u"A"},
      {"utf-8 mark dropped", "utf-8", "efbbbf 41", u"A"},
      {"a mark outranks the label", "windows-1252", "efbbbf e4b8ad", u"中"},
      {"utf-16le mark", "utf-8", "fffe 2d4e", u"中"},
      {"utf-16be mark", "utf-8", "feff 4e2d", u"中"},
      {"utf-16be", "utf-16be", "4e2d", u"中"},
      {"\"unicode\" is utf-16le", "unicode", "2d4e 4100", u"中A"},
      {"utf-16 odd last byte", "utf-16le", "4100 42", u"A\uFFFD"},
      {"each invalid utf-8 sequence is one replacement", "utf-8", "e4b8 41 ff c080 eda080",
       u"\uFFFDA\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"utf-8 cut short at the end", "utf-8", "41 e4b8", u"A\uFFFD"},
      {"shift_jis", "shift_jis", "93fa 967b", u"日本"},
      {"shift_jis invalid pair gives back its ASCII byte", "shift_jis", "8241 42", u"\uFFFDAB"},
      {"shift_jis lead byte at the end", "sjis", "41 81", u"A\uFFFD"},
      {"shift_jis unassigned byte", "shift_jis", "a0", u"\uFFFD"},
      {"big5", "big5", "a4a4 a4e5", u"中文"},
      {"euc-kr", "euc-kr", "c7d1 b1db", u"한글"},
      {"euc-kr with the Windows extension", "euc-kr", "8141", u"갂"},
      {"gb2312 reads with Windows' table", "gb2312", "80 d6d0", u"€中"},
      {"iso-8859-1 is windows-1252", "iso-8859-1", "80 e9", u"€é"},
      {"x-user-defined", "x-user-defined", "41 80 ff", u"A\uF780\uF7FF"},
      {"ICU's own names: utf-7", "utf-7", "2b4147452d", u"a"},
      {"iso-2022-kr is decoded by ICU", "iso-2022-kr", "1b242943 0e 3021 0f 41", u"가A"},
      {"hz-gb-2312 is decoded by ICU", "hz-gb-2312", "7e7b 5650 7e7d", u"中"},
      {"no bytes", "utf-8", "", u""},
  };
  for (const Row& row : rows) {
    const ByteBuffer bytes = Bytes(row.hex);
    EXPECT_EQ(DecodeBytes(bytes, row.charset), std::optional<std::u16string>(row.expected))
        << row.name;
  }
}

TEST(DecodeBytes, UnknownCharsetsDecodeNothing) {
  const ByteBuffer bytes = Bytes("41");
  for (const std::string& name :
       {std::string("no-such-charset"), std::string(""), std::string(200, 'a'),
        std::string("utf-8\x01"), std::string("iso-8859-16")}) {
    EXPECT_EQ(DecodeBytes(bytes, name), std::nullopt) << name;
    EXPECT_FALSE(IsKnownCharset(name)) << name;
  }
}

TEST(Charsets, EveryWhatwgEncodingHasADecoder) {
  // One label of each encoding of the Standard's table.
  const char* labels[] = {
      "utf-8",        "ibm866",       "iso-8859-2",     "iso-8859-3",   "iso-8859-4",
      "iso-8859-5",   "iso-8859-6",   "iso-8859-7",     "iso-8859-8",   "iso-8859-8-i",
      "iso-8859-10",  "iso-8859-13",  "iso-8859-14",    "iso-8859-15",  "koi8-r",
      "koi8-u",       "macintosh",    "windows-874",    "windows-1250", "windows-1251",
      "windows-1252", "windows-1253", "windows-1254",   "windows-1255", "windows-1256",
      "windows-1257", "windows-1258", "x-mac-cyrillic", "gbk",          "gb18030",
      "big5",         "euc-jp",       "iso-2022-jp",    "shift_jis",    "euc-kr",
      "utf-16be",     "utf-16le",     "x-user-defined", "csiso2022kr",  "iso-2022-cn",
  };
  for (const char* label : labels) {
    EXPECT_NE(WhatwgEncodingForLabel(label), "") << label;
    EXPECT_TRUE(IsKnownCharset(label)) << label;
  }
  // ICU's standard data has no ISO-8859-16 (see UnknownCharsetsDecodeNothing).
  EXPECT_EQ(WhatwgEncodingForLabel("iso-8859-16"), "ISO-8859-16");
}

TEST(Charsets, WhatwgLabels) {
  const std::pair<const char*, const char*> rows[] = {
      {"latin1", "windows-1252"},
      {"GB2312", "GBK"},
      {"x-gbk", "GBK"},
      {"utf8", "UTF-8"},
      {" \tutf-8\n", "UTF-8"},
      {"utf-16", "UTF-16LE"},
      {"ks_c_5601-1987", "EUC-KR"},
      {"utf-8x", ""},
      {"", ""},
  };
  for (const auto& [label, encoding] : rows) {
    EXPECT_EQ(WhatwgEncodingForLabel(label), encoding) << label;
  }
}

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    ASSERT_TRUE(CreateObject(stream_, "Adodb.Stream"));
  }
  void TearDown() override {
    ClearObject(stream_);
    CoUninitialize();
  }

  bool Write(std::string_view hex) {
    Variant bytes;
    AssignVariant(bytes, Bytes(hex));
    CallMethod(stream_, "Write", {bytes});
    return AutomationSucceeded();
  }

  ComObject stream_;
};

TEST_F(StreamTest, BytesInTextOut) {
  EXPECT_TRUE(WriteProperty(stream_, "Type", 1));
  EXPECT_TRUE(WriteProperty(stream_, "Mode", 3));
  CallMethod(stream_, "Open");
  ASSERT_TRUE(AutomationSucceeded());
  ASSERT_TRUE(Write("efbbbf e4b8ad e69687 41"));
  EXPECT_EQ(ReadNumberProperty(stream_, "Size"), 10);
  EXPECT_TRUE(WriteProperty(stream_, "Position", 0));
  EXPECT_TRUE(WriteProperty(stream_, "Type", 2));
  EXPECT_TRUE(WriteProperty(stream_, "Charset", "utf-8"));
  EXPECT_EQ(test::ToHex(CallTextMethod(stream_, "ReadText")), "d6 d0 ce c4 41");
  EXPECT_EQ(ReadTextProperty(stream_, "EOS"), "-1");
  CallMethod(stream_, "Close");
  EXPECT_TRUE(AutomationSucceeded());
  EXPECT_EQ(ReadNumberProperty(stream_, "State"), 0);
}

TEST_F(StreamTest, StateRulesOfTheOriginal) {
  // Closed: nothing to write, read or position.
  EXPECT_FALSE(Write("41"));
  EXPECT_EQ(CallTextMethod(stream_, "ReadText"), "");
  EXPECT_FALSE(AutomationSucceeded());
  EXPECT_FALSE(WriteProperty(stream_, "Position", 0));
  CallMethod(stream_, "Close");
  EXPECT_FALSE(AutomationSucceeded());
  CallMethod(stream_, "Open", {"http://example.invalid/"});
  EXPECT_FALSE(AutomationSucceeded()) << "opening on a source is not offered";

  CallMethod(stream_, "Open");
  ASSERT_TRUE(AutomationSucceeded());
  CallMethod(stream_, "Open");
  EXPECT_FALSE(AutomationSucceeded());
  EXPECT_FALSE(WriteProperty(stream_, "Mode", 3)) << "the mode is fixed while open";
  EXPECT_FALSE(Write("41")) << "a new stream holds text";
  ASSERT_TRUE(WriteProperty(stream_, "Type", 1));
  ASSERT_TRUE(Write("616263"));
  EXPECT_FALSE(WriteProperty(stream_, "Type", 2)) << "only at position 0";
  EXPECT_FALSE(WriteProperty(stream_, "Charset", "utf-8")) << "only at position 0";
  EXPECT_FALSE(WriteProperty(stream_, "Position", 4));
  EXPECT_FALSE(WriteProperty(stream_, "Type", 3));
  ASSERT_TRUE(WriteProperty(stream_, "Position", 1));
  ASSERT_TRUE(Write("5859"));  // overwrites from the position on
  ASSERT_TRUE(Write("5a"));    // and grows the stream
  EXPECT_EQ(ReadNumberProperty(stream_, "Size"), 4);
  ASSERT_TRUE(WriteProperty(stream_, "Position", 0));
  EXPECT_EQ(VariantToText(ReadProperty(stream_, "Charset")), "Unicode");
  ASSERT_TRUE(WriteProperty(stream_, "Type", 2));
  ASSERT_TRUE(WriteProperty(stream_, "Charset", "ascii"));
  EXPECT_EQ(CallTextMethod(stream_, "ReadText"), "aXYZ");
  EXPECT_EQ(CallTextMethod(stream_, "ReadText"), "") << "nothing left";
  EXPECT_TRUE(AutomationSucceeded());
}

TEST_F(StreamTest, ChangingTheStreamLeavesTheWrittenArrayAlone) {
  WriteProperty(stream_, "Type", 1);
  CallMethod(stream_, "Open");
  Variant written;
  AssignVariant(written, Bytes("616263"));
  CallMethod(stream_, "Write", {written});
  ASSERT_TRUE(WriteProperty(stream_, "Position", 1));
  ASSERT_TRUE(Write("58"));
  ASSERT_TRUE(WriteProperty(stream_, "Position", 0));
  const Variant read = ReadProperty(stream_, "Read");
  EXPECT_EQ(std::get<ByteArray>(read), ByteArray(Bytes("615863")));
  EXPECT_EQ(std::get<ByteArray>(written), ByteArray(Bytes("616263")));
}

TEST_F(StreamTest, AnUnknownCharsetMakesReadTextFail) {
  CallMethod(stream_, "Open");
  WriteProperty(stream_, "Type", 1);
  ASSERT_TRUE(Write("41"));
  WriteProperty(stream_, "Position", 0);
  WriteProperty(stream_, "Type", 2);
  EXPECT_FALSE(WriteProperty(stream_, "Charset", "x-no-such-charset"));
  EXPECT_EQ(CallTextMethod(stream_, "ReadText"), "");
  EXPECT_FALSE(AutomationSucceeded());
  EXPECT_TRUE(WriteProperty(stream_, "Charset", "utf-8"));
  EXPECT_EQ(CallTextMethod(stream_, "ReadText"), "A");
  EXPECT_TRUE(AutomationSucceeded());
}

}  // namespace
}  // namespace velinor
