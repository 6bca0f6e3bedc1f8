// The program's run: start-up order, the event pump, and the program file
// itself started from another folder.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_window.h"
#include "app/startup.h"
#include "text/text.h"

using namespace velinor;

class ProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void createdRunsHiddenWithThePumpInstalled();
  void movedProgramShowsItsImages();
  void quitsWhenShownOnRequest();
};

void ProgramTest::createdRunsHiddenWithThePumpInstalled() {
  qputenv("VELINOR_QUIT_WHEN_SHOWN", "1");
  bool ran = false, hiddenWhileRunning = false, pumped = false;
  MainWindowHandlers handlers{.created = [&](MainWindow& window) {
    ran = true;
    hiddenWhileRunning = !window.isVisible();
    QMetaObject::invokeMethod(
        qApp, [&] { pumped = true; }, Qt::QueuedConnection);
    ProcessEvents();  // a request pumps events like this while it waits
  }};
  QCOMPARE(RunProgram(*qApp, std::move(handlers)), 0);
  qunsetenv("VELINOR_QUIT_WHEN_SHOWN");
  QVERIFY(ran);
  QVERIFY(hiddenWhileRunning);
  QVERIFY(pumped);

  // The pump goes with the run.
  bool pumpedAfter = false;
  QMetaObject::invokeMethod(
      qApp, [&] { pumpedAfter = true; }, Qt::QueuedConnection);
  ProcessEvents();
  QVERIFY(!pumpedAfter);
  QCoreApplication::processEvents();
}

void ProgramTest::movedProgramShowsItsImages() {
  QTemporaryDir elsewhere;
  QVERIFY(elsewhere.isValid());
  const QString program = elsewhere.filePath("velinor-sfx");
  QVERIFY(QFile::copy(VELINOR_PROGRAM, program));
  const QString shot = elsewhere.filePath("window.png");

  QProcess run;
  run.setWorkingDirectory(QDir::rootPath());
  run.start(program, {"--screenshot", shot});
  QVERIFY(run.waitForFinished(30000));
  QCOMPARE(run.exitStatus(), QProcess::NormalExit);
  QCOMPARE(run.exitCode(), 0);

  const QImage window(shot);
  QCOMPARE(window.size(), QSize(kClientWidth, kClientHeight));
  QCOMPARE(window.pixelColor(80 + 28, 12 + 6), QColor(10, 152, 227));   // the logo's mark
  QCOMPARE(window.pixelColor(16 + 2, 107 + 7), QColor(207, 207, 207));  // the address frame
  QCOMPARE(window.pixelColor(197, 153 + 16), QColor(173, 213, 254));    // the button's face
  QCOMPARE(window.pixelColor(4, 4), QColor(Qt::white));
}

void ProgramTest::quitsWhenShownOnRequest() {
  QProcess run;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("VELINOR_QUIT_WHEN_SHOWN", "1");
  run.setProcessEnvironment(environment);
  run.start(VELINOR_PROGRAM, {});
  QVERIFY(run.waitForFinished(30000));
  QCOMPARE(run.exitStatus(), QProcess::NormalExit);
  QCOMPARE(run.exitCode(), 0);
}

QTEST_MAIN(ProgramTest)
#include "tst_program.moc"
