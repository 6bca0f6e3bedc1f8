// The handlers of the window's events.
#pragma once

namespace velinor {

class MainWindow;

// Created event: runs the window's `created` handler, if any.
void OnMainWindowCreated(MainWindow& window);
// Download button clicked: runs the window's `downloadClicked` handler, if any.
void OnDownloadClicked(MainWindow& window);
// Every edit of the address: the status line goes back to the welcome text in black.
void OnAddressChanged(MainWindow& window);
// Left button on the logo: the site's listing page in the browser.
void OnLogoPressed();
// Left button on the upgrade link: the newer release's package in the browser.
void OnUpgradeLabelPressed();

}  // namespace velinor
