#include "app/edit_box.h"

#include <QPalette>

namespace velinor {

EditBox::EditBox(QWidget* parent) : QLineEdit(parent) {
  setFrame(false);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QPalette colours = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    colours.setColor(group, QPalette::Text, Qt::black);
    colours.setColor(group, QPalette::Base, Qt::white);
  }
  // Qt keeps drawing a selection in an inactive window; painting it in the
  // ordinary colours hides it there as well.
  colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  setPalette(colours);
}

}  // namespace velinor
