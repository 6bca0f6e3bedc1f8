// A push button whose face is an image, centred, in place of its caption;
// text() still gives the caption.
#pragma once

#include <QImage>
#include <QPushButton>

namespace velinor {

class Button : public QPushButton {
  Q_OBJECT

 public:
  explicit Button(QWidget* parent = nullptr);

  const QImage& face() const { return face_; }
  void setFace(const QImage& face);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage face_;
};

}  // namespace velinor
