#include "app/ui_texts.h"

#include "text/encoding.h"

namespace velinor {

const TextValue& WelcomeText() {
  static const TextValue text = Utf8ToAnsi("欢迎使用此程序");
  return text;
}

const TextValue& PromptText() {
  static const TextValue text = Utf8ToAnsi("请输入Velinor音效页面地址");
  return text;
}

const TextValue& UpgradeLinkText() {
  static const TextValue text = Utf8ToAnsi("点我升级");
  return text;
}

const TextValue& DownloadCaption() {
  static const TextValue text = Utf8ToAnsi("下载");
  return text;
}

}  // namespace velinor
