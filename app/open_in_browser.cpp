#include "app/open_in_browser.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStringList>
#include <utility>

#include "text/encoding.h"

namespace velinor {
namespace {

void OpenWithDesktop(std::string_view address) {
  const QUrl url = BrowserUrl(address);
  if (!url.isValid()) return;
  if (QDesktopServices::openUrl(url)) return;
  // Platforms without desktop services (offscreen, a bare X server) still have xdg-open.
  QProcess::startDetached(QStringLiteral("xdg-open"),
                          {QString::fromLatin1(url.toEncoded(QUrl::FullyEncoded))});
}

BrowserOpener& Opener() {
  static BrowserOpener opener;
  return opener;
}

}  // namespace

void OpenInBrowser(std::string_view address) {
  if (Opener()) {
    Opener()(address);
  } else {
    OpenWithDesktop(address);
  }
}

BrowserOpener SetBrowserOpener(BrowserOpener opener) {
  return std::exchange(Opener(), std::move(opener));
}

QUrl BrowserUrl(std::string_view address) {
  QUrl url(QString::fromStdString(AnsiToUtf8(address)), QUrl::TolerantMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != "http" && scheme != "https") || url.host().isEmpty()) {
    return QUrl();
  }
  return url;
}

}  // namespace velinor
