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

const TextValue& LockMessage() {
  static const TextValue text = Utf8ToAnsi(kLockMessageUtf8);
  return text;
}

const TextValue& WrongAddressText() {
  static const TextValue text = Utf8ToAnsi(kWrongAddressUtf8);
  return text;
}

const TextValue& DownloadingText() {
  static const TextValue text = Utf8ToAnsi(kDownloadingUtf8);
  return text;
}

const TextValue& NoTitleText() {
  static const TextValue text = Utf8ToAnsi(kNoTitleUtf8);
  return text;
}

const TextValue& DownloadFailedText() {
  static const TextValue text = Utf8ToAnsi(kDownloadFailedUtf8);
  return text;
}

const TextValue& DownloadDoneText() {
  static const TextValue text = Utf8ToAnsi(kDownloadDoneUtf8);
  return text;
}

}  // namespace velinor
