#include "app/trans_label.h"

#include <QMouseEvent>
#include <QPainter>

namespace velinor {

TransLabel::TransLabel(QWidget* parent) : QWidget(parent) {
  // The window's background and anything beneath show through.
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
}

void TransLabel::setText(const QString& text) {
  text_ = text;
  repaint();
  emit changed();
}

void TransLabel::setTextColor(const QColor& color) {
  textColor_ = color;
  repaint();
  emit changed();
}

void TransLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(textColor_);
  // Without Qt::TextShowMnemonic an ampersand is drawn as it is.
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text_);
}

void TransLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    event->accept();
    emit pressed();
    return;
  }
  QWidget::mousePressEvent(event);
}

}  // namespace velinor
