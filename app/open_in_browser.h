// Opening an address in the user's default browser: the one place the
// program hands something to another program.
#pragma once

#include <QUrl>
#include <functional>
#include <string_view>

namespace velinor {

// Hands `address` (code page 936) to whatever SetBrowserOpener installed, by
// default the desktop's browser. The outcome is not reported.
void OpenInBrowser(std::string_view address);

using BrowserOpener = std::function<void(std::string_view address)>;
// Installs `opener` in place of the desktop's browser (tests watch the
// address handed over); an empty one restores it. Returns the previous one.
BrowserOpener SetBrowserOpener(BrowserOpener opener);

// What the desktop is asked to open: the address as UTF-8, with what a URL
// cannot hold percent-encoded. Invalid unless it is an http or https address.
QUrl BrowserUrl(std::string_view address);

}  // namespace velinor
