// The program's only window and its eight controls.
#pragma once

#include <QWidget>
#include <functional>

#include "app/button.h"
#include "app/edit_box.h"
#include "app/pic_box.h"
#include "app/trans_label.h"

namespace velinor {

class MainWindow;

// What the created event and a click on the download button run; main()
// or a test sets them. Empty, they do nothing.
struct MainWindowHandlers {
  std::function<void(MainWindow&)> created{};
  std::function<void(MainWindow&)> downloadClicked{};
};

// Window metrics. The layout is given for an outer size of 333 x 291 on a
// classic Windows frame: a 3-pixel fixed frame on each side and a 19-pixel
// caption leave 333 - 2*3 = 327 by 291 - 2*3 - 19 = 266 for the client area.
inline constexpr int kFrameWidth = 3;
inline constexpr int kCaptionHeight = 19;
inline constexpr int kOuterWidth = 333;
inline constexpr int kOuterHeight = 291;
inline constexpr int kClientWidth = kOuterWidth - 2 * kFrameWidth;
inline constexpr int kClientHeight = kOuterHeight - 2 * kFrameWidth - kCaptionHeight;

// Built hidden, centred on its screen, with every control in place; the
// caller raises the created event (OnMainWindowCreated) and then shows it.
// Esc closes it whichever control has the focus; Enter does nothing.
class MainWindow : public QWidget {
 public:
  explicit MainWindow(MainWindowHandlers handlers = {});

  const MainWindowHandlers& handlers() const { return handlers_; }
  // True once the window has been closed: a handler resuming after a nested
  // close must leave the window alone.
  bool IsClosed() const { return closed_; }

  // In z-order, topmost first; also the order of creation.
  TransLabel* 透明标签4 = nullptr;  // contact label, hidden at start
  TransLabel* 透明标签3 = nullptr;  // upgrade link, hidden at start
  PicBox* 图片框2 = nullptr;        // logo, opens the listing page
  TransLabel* 透明标签2 = nullptr;  // prompt
  EditBox* 编辑框1 = nullptr;       // the page address
  PicBox* 图片框1 = nullptr;        // frame drawn around the address
  TransLabel* 透明标签1 = nullptr;  // the status line
  Button* 按钮1 = nullptr;          // download

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  MainWindowHandlers handlers_;
  bool closed_ = false;
};

}  // namespace velinor
