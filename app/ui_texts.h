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
inline constexpr char kLockMessageUtf8[] = "当前版本不是最新版本，请先升级";
inline constexpr char kWrongAddressUtf8[] = "警告：请检查地址是否为Velinor音效页面";
inline constexpr char kDownloadingUtf8[] = "提示：正在下载......";
inline constexpr char kNoTitleUtf8[] = "请检查您输入的地址和网络是否正常";
inline constexpr char kDownloadFailedUtf8[] = "提示：下载失败";
inline constexpr char kDownloadDoneUtf8[] = "提示：下载完毕!!!文件已放到本软件同目录";

const TextValue& WelcomeText();
const TextValue& PromptText();
const TextValue& UpgradeLinkText();
const TextValue& DownloadCaption();
const TextValue& LockMessage();
const TextValue& WrongAddressText();
const TextValue& DownloadingText();
const TextValue& NoTitleText();
const TextValue& DownloadFailedText();
const TextValue& DownloadDoneText();

}  // namespace velinor
