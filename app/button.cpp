#include "app/button.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace velinor {

Button::Button(QWidget* parent) : QPushButton(parent) {
  // Enter must not click it, whatever has the focus.
  setAutoDefault(false);
  setDefault(false);
}

void Button::setFace(const QImage& face) {
  face_ = face;
  update();
}

void Button::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  QPoint topLeft((width() - face_.width()) / 2, (height() - face_.height()) / 2);
  // The face moves down and right while pressed, as a pushed button does.
  if (isDown()) topLeft += QPoint(1, 1);
  if (!isEnabled()) painter.setOpacity(0.5);
  painter.drawImage(topLeft, face_);
  painter.setOpacity(1.0);
  if (hasFocus()) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(3, 3, -3, -3);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

}  // namespace velinor
