#include "app/ui_texts.h"

#include "text/encoding.h"

namespace velinor {

const TextValue& WelcomeText() {
  static const TextValue text = Utf8ToAnsi(kWelcomeUtf8);
  return text;
}

const TextValue& PromptText() {
  static const TextValue text = Utf8ToAnsi(kPromptUtf8);
  return text;
}

const TextValue& UpgradeLinkText() {
  static const TextValue text = Utf8ToAnsi(kUpgradeLinkUtf8);
  return text;
}

const TextValue& DownloadCaption() {
  static const TextValue text = Utf8ToAnsi(kDownloadCaptionUtf8);
  return text;
}

}  // namespace velinor
