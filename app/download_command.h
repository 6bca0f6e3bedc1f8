// The download button's command: from a sound page's address to
// "<title>.mp3" beside the program.
#pragma once

namespace velinor {

class MainWindow;

// Reads the address from the window, fetches the page, cuts out the title
// and the audio address, downloads the audio and writes it into the
// program's directory, reporting each outcome in the status line. Window
// events may run while the page is fetched, including a nested download.
void DownloadSoundEffect(MainWindow& window);

}  // namespace velinor
