// The yardstick for the program's start-up: an empty Qt window of the same
// client size, shown and, with VELINOR_QUIT_WHEN_SHOWN=1, ended at its first paint.
#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {

class QuitWhenPainted : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    return false;
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.setFixedSize(327, 266);
  window.setWindowTitle(QStringLiteral("bare"));
  QuitWhenPainted quitWhenPainted;
  if (qEnvironmentVariable("VELINOR_QUIT_WHEN_SHOWN") == QLatin1String("1")) {
    window.installEventFilter(&quitWhenPainted);
  }
  window.show();
  app.exec();
  return 0;
}
