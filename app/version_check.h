// The release check run once at start, before the window is shown.
#pragma once

namespace velinor {

class MainWindow;

// Asks the download server for the newest release and locks the window when
// it is newer than this one. Does nothing when the server cannot be reached.
void CheckForNewerRelease(MainWindow& window);

}  // namespace velinor
