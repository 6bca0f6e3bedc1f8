#include "app/pic_box.h"

#include <QMouseEvent>
#include <QPainter>

namespace velinor {

PicBox::PicBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void PicBox::setImage(const QImage& image) {
  image_ = image;
  update();
}

void PicBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Button));
  painter.drawImage(QPoint(0, 0), image_);
}

void PicBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    event->accept();
    emit pressed();
    return;
  }
  QWidget::mousePressEvent(event);
}

}  // namespace velinor
