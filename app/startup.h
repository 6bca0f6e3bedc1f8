// The program's run from start to the window closed.
#pragma once

#include "app/main_window.h"

class QApplication;

namespace velinor {

// Installs the event pump, builds MainWindow hidden, raises its created
// event, shows it and runs until it is closed; returns 0.
//
// Two aids for developers and benchmarks, never met in ordinary use:
//   VELINOR_QUIT_WHEN_SHOWN=1 in the environment ends the run once the
//   window has first been painted;
//   "--screenshot <file.png>" on the offscreen platform saves the window as
//   it is first shown and ends the run (1 when the file cannot be written).
int RunProgram(QApplication& app, MainWindowHandlers handlers);

}  // namespace velinor
