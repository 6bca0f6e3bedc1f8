#include "app/startup.h"

#include <QApplication>
#include <QEvent>
#include <QPixmap>
#include <QStringList>

#include "app/handlers.h"
#include "text/text.h"

namespace velinor {
namespace {

// Ends the run at the window's first paint: from then on it is on screen.
class QuitWhenPainted : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    return false;
  }
};

QString ScreenshotPath(const QApplication& app) {
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) return {};
  const QStringList arguments = app.arguments();
  const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot"));
  return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

}  // namespace

int RunProgram(QApplication& app, MainWindowHandlers handlers) {
  // Never waits: lets pending events run inside a long request.
  std::function<void()> previousPump =
      SetProcessEventsHook([] { QCoreApplication::processEvents(); });

  MainWindow window(std::move(handlers));
  OnMainWindowCreated(window);
  window.show();

  int result = 0;
  if (const QString screenshot = ScreenshotPath(app); !screenshot.isEmpty()) {
    result = window.grab().save(screenshot, "PNG") ? 0 : 1;
  } else {
    QuitWhenPainted quitWhenPainted;
    if (qEnvironmentVariable("VELINOR_QUIT_WHEN_SHOWN") == QLatin1String("1")) {
      window.installEventFilter(&quitWhenPainted);
    }
    app.exec();
  }
  SetProcessEventsHook(std::move(previousPump));
  return result;
}

}  // namespace velinor
