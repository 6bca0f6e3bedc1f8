#include "app/control_property.h"

#include <QColor>
#include <QLineEdit>

#include "app/button.h"
#include "app/trans_label.h"
#include "text/encoding.h"

namespace velinor {
namespace {

QString ToQString(const TextValue& text) { return QString::fromStdString(AnsiToUtf8(text)); }

TextValue FromQString(const QString& text) { return Utf8ToAnsi(text.toStdString()); }

std::int32_t PackColour(const QColor& colour) {
  return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

QColor UnpackColour(std::int32_t packed) {
  return QColor(packed & 0xFF, (packed >> 8) & 0xFF, (packed >> 16) & 0xFF);
}

TextValue ControlText(const QWidget* control) {
  if (auto* label = qobject_cast<const TransLabel*>(control)) return FromQString(label->text());
  if (auto* edit = qobject_cast<const QLineEdit*>(control)) return FromQString(edit->text());
  if (auto* button = qobject_cast<const Button*>(control)) return FromQString(button->text());
  return {};
}

void SetControlText(QWidget* control, const TextValue& text) {
  if (auto* label = qobject_cast<TransLabel*>(control)) {
    label->setText(ToQString(text));
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(ToQString(text));
  } else if (auto* button = qobject_cast<Button*>(control)) {
    button->setText(ToQString(text));
  }
}

}  // namespace

PropertyValue GetControlProperty(const QWidget* control, ControlProperty property) {
  switch (property) {
    case ControlProperty::Visible:
      // The control's own flag: true for a shown control of a still hidden window.
      return control != nullptr && !control->isHidden();
    case ControlProperty::Disabled:
      return control != nullptr && !control->isEnabled();
    case ControlProperty::Text:
      return ControlText(control);
    case ControlProperty::TextColor:
      if (auto* label = qobject_cast<const TransLabel*>(control)) {
        return PackColour(label->textColor());
      }
      return std::int32_t{0};
  }
  return false;
}

void SetControlProperty(QWidget* control, ControlProperty property, const PropertyValue& value) {
  if (control == nullptr) return;
  switch (property) {
    case ControlProperty::Visible:
      if (auto* shown = std::get_if<bool>(&value)) control->setVisible(*shown);
      return;
    case ControlProperty::Disabled:
      if (auto* disabled = std::get_if<bool>(&value)) control->setEnabled(!*disabled);
      return;
    case ControlProperty::Text:
      if (auto* text = std::get_if<TextValue>(&value)) SetControlText(control, *text);
      return;
    case ControlProperty::TextColor:
      if (auto* label = qobject_cast<TransLabel*>(control)) {
        if (auto* packed = std::get_if<std::int32_t>(&value))
          label->setTextColor(UnpackColour(*packed));
      }
      return;
  }
}

}  // namespace velinor
