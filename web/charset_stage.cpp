#include "web/charset_stage.h"

#include "text/automation.h"
#include "text/regex_object.h"
#include "text/stream_component.h"

namespace velinor {
namespace {

constexpr std::string_view kCharsetPattern = R"(<meta.+?charset=[^\w]?([-\w]+))";
constexpr int kDetectionBytes = 1024;

constexpr std::int32_t kTypeBinary = 1;
constexpr std::int32_t kTypeText = 2;
constexpr std::int32_t kModeReadWrite = 3;

// The HTML standard's rule for a charset found in a meta tag: a tag readable
// as ASCII cannot be UTF-16, so those labels mean UTF-8, and x-user-defined
// means windows-1252.
TextValue StreamCharset(const TextValue& declared) {
  const std::string_view encoding = WhatwgEncodingForLabel(declared);
  if (encoding == "UTF-16LE" || encoding == "UTF-16BE") return "utf-8";
  if (encoding == "x-user-defined") return "windows-1252";
  return declared;
}

}  // namespace

struct CharsetStage::Parts {
  RegexObject pagePattern;
  ComObject stream;
  Variant body;
};

CharsetStage::CharsetStage() : parts_(std::make_unique<Parts>()) {}

CharsetStage::~CharsetStage() {
  ClearObject(parts_->stream);
  ClearVariant(parts_->body);
}

void CharsetStage::Run(const ByteBuffer& body, TextValue& result) {
  CoInitialize(nullptr);
  const TextValue subject = TextLeft(result, kDetectionBytes);
  if (parts_->pagePattern.Create(kCharsetPattern, subject)) {
    const TextValue charset = parts_->pagePattern.SubMatchText(1, 1);
    if (!charset.empty() && CompareExact(charset, "gbk") != 0 &&
        CompareExact(charset, "gb2312") != 0 && CreateObject(parts_->stream, "Adodb.Stream")) {
      ComObject& stream = parts_->stream;
      AssignVariant(parts_->body, body);
      WriteProperty(stream, "Type", kTypeBinary);
      WriteProperty(stream, "Mode", kModeReadWrite);
      CallMethod(stream, "Open");
      CallMethod(stream, "Write", {parts_->body});
      WriteProperty(stream, "Position", 0);
      WriteProperty(stream, "Type", kTypeText);
      WriteProperty(stream, "Charset", StreamCharset(charset));
      TextValue decoded = CallTextMethod(stream, "ReadText");
      // A charset nobody knows, or any other failure, leaves the page as it
      // came rather than emptying it.
      if (AutomationSucceeded()) result = std::move(decoded);
      CallMethod(stream, "Close");
      ClearObject(parts_->stream);
      ClearVariant(parts_->body);
    }
    ProcessEvents();
  }
  CoUninitialize();
}

}  // namespace velinor
