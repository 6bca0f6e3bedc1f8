// A single-line edit box without a border of its own: black on white, its
// selection hidden while it does not have the focus.
#pragma once

#include <QLineEdit>

namespace velinor {

class EditBox : public QLineEdit {
  Q_OBJECT

 public:
  explicit EditBox(QWidget* parent = nullptr);
};

}  // namespace velinor
