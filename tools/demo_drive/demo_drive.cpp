// Runs the demo without a screen: the real window on Qt's offscreen platform,
// driven through one download the way a user would (type the address, click
// the button), printing every status text as it appears, the file written,
// and a screenshot of the window at the end.
//
//   demo_drive <sound page address> <screenshot.png>
#include <QApplication>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/control_property.h"
#include "app/download_command.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "app/output_file.h"
#include "app/version_check.h"
#include "text/encoding.h"
#include "text/text.h"

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <sound page address> <screenshot.png>\n", argv[0]);
    return 2;
  }
  using namespace velinor;
  SetProcessEventsHook([] { QCoreApplication::processEvents(); });

  MainWindow window({.created = CheckForNewerRelease, .downloadClicked = DownloadSoundEffect});
  // Every keystroke rewrites the status line; print only what changes.
  std::string shown;
  auto printStatus = [&window, &shown] {
    const auto text = std::get<TextValue>(GetControlProperty(window.透明标签1, ControlProperty::Text));
    const auto colour = window.透明标签1->textColor() == Qt::red ? "red" : "black";
    std::string line = "status (" + std::string(colour) + "): " + AnsiToUtf8(text);
    if (line == shown) return;
    shown = line;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  QObject::connect(window.透明标签1, &TransLabel::changed, printStatus);

  printStatus();
  OnMainWindowCreated(window);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;

  const QString address = QString::fromLocal8Bit(argv[1]);
  std::printf("typing: %s\n", argv[1]);
  QTest::keyClicks(window.编辑框1, address);
  std::printf("clicking the download button\n");
  QTest::mouseClick(window.按钮1, Qt::LeftButton);

  std::printf("files in %s:\n", RunDirectory().c_str());
  for (const auto& entry : std::filesystem::directory_iterator(RunDirectory())) {
    if (entry.path().extension() == ".mp3") {
      std::printf("  %s (%ju bytes)\n", entry.path().filename().c_str(),
                  static_cast<std::uintmax_t>(entry.file_size()));
    }
  }
  const bool saved = window.grab().save(QString::fromLocal8Bit(argv[2]), "PNG");
  std::printf("screenshot: %s%s\n", argv[2], saved ? "" : " (could not be written)");
  return saved ? 0 : 1;
}
