// The window's own texts. They are written in UTF-8 here and turned into
// code page 936 once, when the program first handles them as text. The
// layout puts the UTF-8 forms straight into its widgets, which hold Unicode
// anyway, so that start-up converts nothing.
#pragma once

#include "text/text.h"

namespace velinor {

inline constexpr char kWindowCaption[] = "Velinor音效下载器1.0 by:Tamsel";
inline constexpr char kWelcomeUtf8[] = "欢迎使用此程序";
inline constexpr char kPromptUtf8[] = "请输入Velinor音效页面地址";
inline constexpr char kUpgradeLinkUtf8[] = "点我升级";
inline constexpr char kDownloadCaptionUtf8[] = "下载";

const TextValue& WelcomeText();
const TextValue& PromptText();
const TextValue& UpgradeLinkText();
const TextValue& DownloadCaption();

}  // namespace velinor
