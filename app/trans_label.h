// A label without a background of its own: one line of text, left-aligned
// and vertically centred, clipped to the label, with no mnemonic.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace velinor {

class TransLabel : public QWidget {
  Q_OBJECT

 public:
  explicit TransLabel(QWidget* parent = nullptr);

  QString text() const { return text_; }
  QColor textColor() const { return textColor_; }
  // Both repaint the label and what lies beneath it before they return, so a
  // status written just before a blocking call is already on screen.
  void setText(const QString& text);
  void setTextColor(const QColor& color);

 signals:
  void pressed();  // left mouse button
  void changed();  // after the text or its colour changed and was painted

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString text_;
  QColor textColor_{Qt::black};
};

}  // namespace velinor
