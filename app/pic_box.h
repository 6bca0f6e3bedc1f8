// A borderless picture box: the image at its natural size from the top-left
// corner, clipped to the box, on the button-face colour.
#pragma once

#include <QImage>
#include <QWidget>

namespace velinor {

class PicBox : public QWidget {
  Q_OBJECT

 public:
  explicit PicBox(QWidget* parent = nullptr);

  const QImage& image() const { return image_; }
  void setImage(const QImage& image);

 signals:
  void pressed();  // left mouse button

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QImage image_;
};

}  // namespace velinor
