#include "app/main_window.h"

#include <QKeyEvent>
#include <QScreen>

#include "app/control_property.h"
#include "app/handlers.h"
#include "app/site_constants.h"
#include "app/ui_texts.h"
#include "app/window_images.h"

namespace velinor {
namespace {

void Place(QWidget* control, int left, int top, int width, int height, Qt::CursorShape cursor) {
  control->setGeometry(left, top, width, height);
  control->setCursor(cursor);
  // Created in table order, each goes beneath the ones before it: the first is on top.
  control->lower();
}

void Label(TransLabel* label, const char* utf8, QColor colour, bool shown) {
  label->setText(QString::fromUtf8(utf8));
  label->setTextColor(colour);
  label->setVisible(shown);
}

}  // namespace

MainWindow::MainWindow(MainWindowHandlers handlers)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      handlers_(std::move(handlers)) {
  setWindowTitle(QString::fromUtf8(kWindowCaption));
  setWindowIcon(QPixmap::fromImage(LoadWindowImage(WindowImage::Icon)));
  setFixedSize(kClientWidth, kClientHeight);
  // The window's font, which every control inherits: a CJK face at the 12
  // pixels of the usual Chinese GUI font, the size the layout was made for.
  // Unhinted, as hinting this face at start costs more than it shows.
  QFont font(QStringLiteral("WenQuanYi Micro Hei"));
  font.setPixelSize(12);
  font.setHintingPreference(QFont::PreferNoHinting);
  setFont(font);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::white);
  setPalette(colours);
  setAutoFillBackground(true);

  // The controls come after the font, so that none lays out its text twice.
  透明标签4 = new TransLabel(this);
  透明标签3 = new TransLabel(this);
  图片框2 = new PicBox(this);
  透明标签2 = new TransLabel(this);
  编辑框1 = new EditBox(this);
  图片框1 = new PicBox(this);
  透明标签1 = new TransLabel(this);
  按钮1 = new Button(this);

  透明标签4->setObjectName("透明标签4");
  Place(透明标签4, 118, 91, 88, 16, Qt::ArrowCursor);
  Label(透明标签4, kContactUtf8, Qt::black, false);

  透明标签3->setObjectName("透明标签3");
  Place(透明标签3, 268, 235, 48, 24, Qt::PointingHandCursor);
  Label(透明标签3, kUpgradeLinkUtf8, Qt::red, false);

  图片框2->setObjectName("图片框2");
  Place(图片框2, 80, 12, 154, 56, Qt::PointingHandCursor);
  图片框2->setImage(LoadWindowImage(WindowImage::Logo));

  透明标签2->setObjectName("透明标签2");
  Place(透明标签2, 90, 69, 148, 16, Qt::ArrowCursor);
  Label(透明标签2, kPromptUtf8, QColor(0, 136, 255), true);

  编辑框1->setObjectName("编辑框1");
  Place(编辑框1, 25, 117, 279, 29, Qt::ArrowCursor);

  图片框1->setObjectName("图片框1");
  Place(图片框1, 16, 107, 295, 48, Qt::ArrowCursor);
  图片框1->setImage(LoadWindowImage(WindowImage::AddressFrame));

  透明标签1->setObjectName("透明标签1");
  Place(透明标签1, 8, 240, 352, 16, Qt::ArrowCursor);
  Label(透明标签1, kWelcomeUtf8, Qt::black, true);

  按钮1->setObjectName("按钮1");
  Place(按钮1, 197, 153, 110, 32, Qt::PointingHandCursor);
  按钮1->setText(QString::fromUtf8(kDownloadCaptionUtf8));
  按钮1->setFace(LoadWindowImage(WindowImage::DownloadButton));

  // Only the address and the button take the focus, in that order.
  for (QWidget* passive : {static_cast<QWidget*>(透明标签4), static_cast<QWidget*>(透明标签3),
                           static_cast<QWidget*>(图片框2), static_cast<QWidget*>(透明标签2),
                           static_cast<QWidget*>(图片框1), static_cast<QWidget*>(透明标签1)}) {
    passive->setFocusPolicy(Qt::NoFocus);
  }
  编辑框1->setFocusPolicy(Qt::StrongFocus);
  按钮1->setFocusPolicy(Qt::StrongFocus);
  QWidget::setTabOrder(编辑框1, 按钮1);

  QObject::connect(编辑框1, &QLineEdit::textChanged, this, [this] { OnAddressChanged(*this); });
  QObject::connect(按钮1, &QPushButton::clicked, this, [this] { OnDownloadClicked(*this); });
  QObject::connect(图片框2, &PicBox::pressed, this, [] { OnLogoPressed(); });
  QObject::connect(透明标签3, &TransLabel::pressed, this, [] { OnUpgradeLabelPressed(); });

  // Centre the outer frame on the screen's work area; the client area sits
  // inside it, below the caption.
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.left() + (area.width() - kOuterWidth) / 2,
         area.top() + (area.height() - kOuterHeight) / 2);
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // The controls pass Esc on, so it arrives here whichever has the focus.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  closed_ = true;
  QWidget::closeEvent(event);
}

}  // namespace velinor
