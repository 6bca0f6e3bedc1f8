#include "app/version_check.h"

#include "app/control_property.h"
#include "app/main_window.h"
#include "app/site_constants.h"
#include "app/ui_texts.h"
#include "web/web_request.h"

namespace velinor {

void CheckForNewerRelease(MainWindow& window) {
  const TextValue newest = WebRequest(VersionFileAddress());
  // Compared as the 32-bit numbers ToNumber gives, so "1.2.9" is not newer than "1.2.0".
  if (!(ToNumber(newest) > ToNumber(OwnVersion())) || window.IsClosed()) return;

  SetControlProperty(window.编辑框1, ControlProperty::Disabled, true);
  SetControlProperty(window.透明标签1, ControlProperty::TextColor, std::int32_t{255});
  SetControlProperty(window.透明标签1, ControlProperty::Text, LockMessage());
  SetControlProperty(window.透明标签3, ControlProperty::Visible, true);
  SetControlProperty(window.透明标签4, ControlProperty::Visible, true);
}

}  // namespace velinor
