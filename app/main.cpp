#include <QApplication>

#include "app/download_command.h"
#include "app/startup.h"
#include "app/version_check.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  return velinor::RunProgram(app, {.created = velinor::CheckForNewerRelease,
                                   .downloadClicked = velinor::DownloadSoundEffect});
}
