// Reading and writing the numbered properties of the window's controls.
// Texts are code page 936 and are converted at the widget's edge; colours are
// packed 0x00BBGGRR (0 black, 255 red).
#pragma once

#include <cstdint>
#include <variant>

#include "text/text.h"

class QWidget;

namespace velinor {

enum class ControlProperty : int {
  Visible = 5,    // bool; any control
  Disabled = 6,   // bool; any control
  Text = 8,       // TextValue; EditBox content, TransLabel or Button caption
  TextColor = 11  // packed colour; TransLabel
};

using PropertyValue = std::variant<bool, std::int32_t, TextValue>;

// The property's value, of the type listed above. A control without that
// property, or no control at all, gives the type's empty value.
PropertyValue GetControlProperty(const QWidget* control, ControlProperty property);

// Stores the value and applies it at once. A value of the wrong type, a
// property the control lacks or a null control changes nothing.
void SetControlProperty(QWidget* control, ControlProperty property, const PropertyValue& value);

}  // namespace velinor
