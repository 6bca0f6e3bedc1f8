// The window's own texts. They are written in UTF-8 here and turned into
// code page 936 once, the form in which the program handles every text.
#pragma once

#include "text/text.h"

namespace velinor {

// Goes to the window system as it is, so it stays UTF-8.
inline constexpr char kWindowCaption[] = "Velinor音效下载器1.0 by:Tamsel";

const TextValue& WelcomeText();      // 欢迎使用此程序
const TextValue& PromptText();       // 请输入Velinor音效页面地址
const TextValue& UpgradeLinkText();  // 点我升级
const TextValue& DownloadCaption();  // 下载

}  // namespace velinor
