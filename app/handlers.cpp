#include "app/handlers.h"

#include "app/control_property.h"
#include "app/main_window.h"
#include "app/open_in_browser.h"
#include "app/site_constants.h"
#include "app/ui_texts.h"

namespace velinor {

void OnMainWindowCreated(MainWindow& window) {
  if (window.handlers().created) window.handlers().created(window);
}

void OnDownloadClicked(MainWindow& window) {
  if (window.handlers().downloadClicked) window.handlers().downloadClicked(window);
}

void OnAddressChanged(MainWindow& window) {
  SetControlProperty(window.透明标签1, ControlProperty::TextColor, std::int32_t{0});
  SetControlProperty(window.透明标签1, ControlProperty::Text, WelcomeText());
}

void OnLogoPressed() { OpenInBrowser(ListingPageAddress()); }

void OnUpgradeLabelPressed() { OpenInBrowser(UpgradePackageAddress()); }

}  // namespace velinor
