// MainWindow as a user meets it: layout, stacking, focus, keys, presses.
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/control_property.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "app/open_in_browser.h"
#include "app/site_constants.h"
#include "text/encoding.h"

using namespace velinor;

namespace {

QString Shown(const PropertyValue& text) {
  return QString::fromStdString(AnsiToUtf8(std::get<TextValue>(text)));
}

// Counts events of one type that reach a widget.
class EventCounter : public QObject {
 public:
  EventCounter(QWidget* widget, QEvent::Type type) : type_(type) {
    widget->installEventFilter(this);
  }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == type_) ++count;
    return false;
  }

 private:
  QEvent::Type type_;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void controls_data();
  void controls();
  void window();
  void stacking();
  void tabOrder();
  void escapeCloses_data();
  void escapeCloses();
  void enterDoesNothing();
  void buttonRunsDownloadHandler();
  void editResetsStatus_data();
  void editResetsStatus();
  void statusIsPaintedBeforeSetReturns();
  void logoPressOpensListingPage();
  void upgradeLabelPress();
  void createdHandlerRunsOnce();
  void labelTextsFit();

 private:
  QWidget* Control(const char* name) const { return window_->findChild<QWidget*>(name); }
  QPoint CentreOf(QWidget* control) const { return control->geometry().center(); }

  std::unique_ptr<MainWindow> window_;
  int downloadClicks_ = 0;
  std::vector<std::string> opened_;
};

void MainWindowTest::init() {
  downloadClicks_ = 0;
  opened_.clear();
  SetBrowserOpener([this](std::string_view address) { opened_.emplace_back(address); });
  window_ = std::make_unique<MainWindow>(
      MainWindowHandlers{.downloadClicked = [this](MainWindow&) { ++downloadClicks_; }});
  window_->show();
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void MainWindowTest::cleanup() {
  window_.reset();
  SetBrowserOpener({});
}

void MainWindowTest::controls_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QRect>("geometry");
  QTest::addColumn<bool>("shown");
  QTest::addColumn<bool>("tabStop");
  QTest::addColumn<int>("cursor");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("colour");  // 0x00BBGGRR, -1 for controls without one

  const int arrow = Qt::ArrowCursor, hand = Qt::PointingHandCursor;
  QTest::newRow("contact label") << "透明标签4"
                                 << "velinor::TransLabel" << QRect(118, 91, 88, 16) << false
                                 << false << arrow
                                 << QString::fromStdString(AnsiToUtf8(ContactText())) << 0;
  QTest::newRow("upgrade link") << "透明标签3"
                                << "velinor::TransLabel" << QRect(268, 235, 48, 24) << false
                                << false << hand << "点我升级" << 0x0000FF;
  QTest::newRow("logo") << "图片框2"
                        << "velinor::PicBox" << QRect(80, 12, 154, 56) << true << false << hand
                        << "" << -1;
  QTest::newRow("prompt") << "透明标签2"
                          << "velinor::TransLabel" << QRect(90, 69, 148, 16) << true << false
                          << arrow << "请输入Velinor音效页面地址" << 0xFF8800;
  QTest::newRow("address") << "编辑框1"
                           << "velinor::EditBox" << QRect(25, 117, 279, 29) << true << true << arrow
                           << "" << -1;
  QTest::newRow("address frame") << "图片框1"
                                 << "velinor::PicBox" << QRect(16, 107, 295, 48) << true << false
                                 << arrow << "" << -1;
  QTest::newRow("status line") << "透明标签1"
                               << "velinor::TransLabel" << QRect(8, 240, 352, 16) << true << false
                               << arrow << "欢迎使用此程序" << 0;
  QTest::newRow("download button")
      << "按钮1"
      << "velinor::Button" << QRect(197, 153, 110, 32) << true << true << hand << "下载" << -1;
}

void MainWindowTest::controls() {
  QFETCH(QString, name);
  QFETCH(QString, kind);
  QFETCH(QRect, geometry);
  QFETCH(bool, shown);
  QFETCH(bool, tabStop);
  QFETCH(int, cursor);
  QFETCH(QString, text);
  QFETCH(int, colour);

  QWidget* control = Control(name.toUtf8().constData());
  QVERIFY(control != nullptr);
  QCOMPARE(QString(control->metaObject()->className()), kind);
  QCOMPARE(control->geometry(), geometry);
  QCOMPARE(std::get<bool>(GetControlProperty(control, ControlProperty::Visible)), shown);
  QCOMPARE(control->isVisible(), shown);
  QVERIFY(control->isEnabled());
  QCOMPARE(bool(control->focusPolicy() & Qt::TabFocus), tabStop);
  QCOMPARE(int(control->cursor().shape()), cursor);
  QCOMPARE(Shown(GetControlProperty(control, ControlProperty::Text)), text);
  if (colour >= 0) {
    QCOMPARE(std::get<std::int32_t>(GetControlProperty(control, ControlProperty::TextColor)),
             colour);
  }
  if (auto* picture = qobject_cast<PicBox*>(control)) QVERIFY(!picture->image().isNull());
  if (auto* button = qobject_cast<Button*>(control)) {
    QCOMPARE(button->face().size(), QSize(110, 32));
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());
  }
}

void MainWindowTest::window() {
  QCOMPARE(window_->windowTitle(), QString("Velinor音效下载器1.0 by:Tamsel"));
  QCOMPARE(window_->size(), QSize(kClientWidth, kClientHeight));
  QCOMPARE(window_->minimumSize(), window_->maximumSize());  // not resizable
  const Qt::WindowFlags flags = window_->windowFlags();
  QVERIFY(flags & Qt::WindowMinimizeButtonHint);
  QVERIFY(flags & Qt::WindowCloseButtonHint);
  QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
  QVERIFY(!(flags & Qt::WindowStaysOnTopHint));
  QVERIFY(window_->windowIcon().availableSizes().contains(QSize(61, 60)));

  // White where no control lies; the logo's mark where the logo lies.
  const QImage shot = window_->grab().toImage();
  QCOMPARE(shot.pixelColor(4, 4), QColor(Qt::white));
  QCOMPARE(shot.pixelColor(320, 200), QColor(Qt::white));
  QCOMPARE(shot.pixelColor(80 + 28, 12 + 6), QColor(10, 152, 227));
  QCOMPARE(shot.pixelColor(16 + 2, 107 + 7), QColor(207, 207, 207));

  // The outer frame is centred on the work area.
  const QRect area = window_->screen()->availableGeometry();
  MainWindow hidden;
  const QPoint expected(area.left() + (area.width() - kOuterWidth) / 2,
                        area.top() + (area.height() - kOuterHeight) / 2);
  QCOMPARE(hidden.pos(), expected);
}

void MainWindowTest::stacking() {
  QStringList topFirst;
  const QObjectList children = window_->children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if ((*it)->isWidgetType()) topFirst.push_back((*it)->objectName());
  }
  const QStringList expected = {"透明标签4", "透明标签3", "图片框2",   "透明标签2",
                                "编辑框1",   "图片框1",   "透明标签1", "按钮1"};
  QCOMPARE(topFirst, expected);

  // Where controls overlap, the one listed first is hit.
  QCOMPARE(window_->childAt(30, 120), window_->编辑框1);
  QCOMPARE(window_->childAt(250, 154), window_->图片框1);  // over the button's top rows
  QCOMPARE(window_->childAt(250, 160), window_->按钮1);
  QCOMPARE(window_->childAt(290, 248), window_->透明标签1);  // the hidden link lets it through
  SetControlProperty(window_->透明标签3, ControlProperty::Visible, true);
  QCOMPARE(window_->childAt(290, 248), window_->透明标签3);
}

void MainWindowTest::tabOrder() {
  QCOMPARE(QApplication::focusWidget(), window_->编辑框1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), window_->按钮1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), window_->编辑框1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  QCOMPARE(QApplication::focusWidget(), window_->按钮1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  QCOMPARE(QApplication::focusWidget(), window_->编辑框1);
}

void MainWindowTest::escapeCloses_data() {
  QTest::addColumn<QString>("focused");
  QTest::newRow("address") << "编辑框1";
  QTest::newRow("button") << "按钮1";
}

void MainWindowTest::escapeCloses() {
  QFETCH(QString, focused);
  QWidget* control = Control(focused.toUtf8().constData());
  control->setFocus();
  QCOMPARE(QApplication::focusWidget(), control);
  EventCounter closes(window_.get(), QEvent::Close);  // what the close box sends
  QTest::keyClick(control, Qt::Key_Escape);
  QCOMPARE(closes.count, 1);
  QVERIFY(!window_->isVisible());
}

void MainWindowTest::enterDoesNothing() {
  QTest::keyClicks(window_->编辑框1, "http://www.velinor.com/media/1.html");
  SetControlProperty(window_->透明标签1, ControlProperty::TextColor, std::int32_t{255});
  for (QWidget* focused :
       {static_cast<QWidget*>(window_->编辑框1), static_cast<QWidget*>(window_->按钮1)}) {
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key_Return);
    QTest::keyClick(focused, Qt::Key_Enter, Qt::KeypadModifier);
  }
  QCOMPARE(window_->编辑框1->text(), QString("http://www.velinor.com/media/1.html"));
  QCOMPARE(
      std::get<std::int32_t>(GetControlProperty(window_->透明标签1, ControlProperty::TextColor)),
      255);
  QCOMPARE(downloadClicks_, 0);
  QVERIFY(window_->isVisible());
}

void MainWindowTest::buttonRunsDownloadHandler() {
  QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {}, CentreOf(window_->按钮1));
  QCOMPARE(downloadClicks_, 1);
  window_->按钮1->setFocus();
  QTest::keyClick(window_->按钮1, Qt::Key_Space);
  QCOMPARE(downloadClicks_, 2);
  // The frame's picture lies over the button's top rows and takes that click.
  QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {}, QPoint(250, 154));
  QCOMPARE(downloadClicks_, 2);
}

void MainWindowTest::editResetsStatus_data() {
  QTest::addColumn<QString>("before");
  QTest::addColumn<int>("key");
  QTest::newRow("typing one character") << "" << int(Qt::Key_A);
  QTest::newRow("deleting one character") << "ab" << int(Qt::Key_Backspace);
}

void MainWindowTest::editResetsStatus() {
  QFETCH(QString, before);
  QFETCH(int, key);
  window_->编辑框1->setText(before);
  SetControlProperty(window_->透明标签1, ControlProperty::TextColor, std::int32_t{255});
  SetControlProperty(window_->透明标签1, ControlProperty::Text,
                     Utf8ToAnsi("警告：请检查地址是否为Velinor音效页面"));
  QTest::keyClick(window_->编辑框1, Qt::Key(key));
  QCOMPARE(Shown(GetControlProperty(window_->透明标签1, ControlProperty::Text)),
           QString("欢迎使用此程序"));
  QCOMPARE(
      std::get<std::int32_t>(GetControlProperty(window_->透明标签1, ControlProperty::TextColor)),
      0);
}

void MainWindowTest::statusIsPaintedBeforeSetReturns() {
  QTest::qWait(0);
  EventCounter label(window_->透明标签1, QEvent::Paint);
  EventCounter beneath(window_.get(), QEvent::Paint);
  // No event loop runs between the write and the check, as in a handler that blocks next.
  SetControlProperty(window_->透明标签1, ControlProperty::Text, Utf8ToAnsi("提示：正在下载......"));
  QVERIFY(label.count >= 1);
  QVERIFY(beneath.count >= 1);
  const int afterText = label.count;
  SetControlProperty(window_->透明标签1, ControlProperty::TextColor, std::int32_t{255});
  QVERIFY(label.count > afterText);

  // And what was painted is the new text in the new colour.
  const QImage shot = window_->grab(window_->透明标签1->geometry()).toImage();
  bool red = false;
  for (int y = 0; y < shot.height() && !red; ++y) {
    for (int x = 0; x < shot.width() && !red; ++x)
      red = shot.pixelColor(x, y).red() > 200 && shot.pixelColor(x, y).green() < 60;
  }
  QVERIFY(red);
}

void MainWindowTest::logoPressOpensListingPage() {
  QTest::mousePress(window_->windowHandle(), Qt::RightButton, {}, CentreOf(window_->图片框2));
  QTest::mouseRelease(window_->windowHandle(), Qt::RightButton, {}, CentreOf(window_->图片框2));
  QVERIFY(opened_.empty());
  QTest::mousePress(window_->windowHandle(), Qt::LeftButton, {}, CentreOf(window_->图片框2));
  QCOMPARE(opened_.size(), size_t(1));  // on the press, not the release
  QTest::mouseRelease(window_->windowHandle(), Qt::LeftButton, {}, CentreOf(window_->图片框2));
  QCOMPARE(opened_.size(), size_t(1));
  QCOMPARE(opened_[0], ListingPageAddress());
  QCOMPARE(QString::fromStdString(opened_[0]), QString("http://www.velinor.com/soundeffect/"));
}

void MainWindowTest::upgradeLabelPress() {
  const QPoint where = CentreOf(window_->透明标签3);
  window_->透明标签1->setText("x");
  QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {}, where);
  QVERIFY(opened_.empty());
  QCOMPARE(window_->透明标签1->text(), QString("x"));

  SetControlProperty(window_->透明标签3, ControlProperty::Visible, true);
  QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {}, where);
  QCOMPARE(opened_.size(), size_t(1));
  QCOMPARE(opened_[0], UpgradePackageAddress());
  QCOMPARE(QString::fromStdString(AnsiToUtf8(opened_[0])),
           QString("https://dl.tamsel.net/e/yz/Velinor音效下载器.zip"));
  QCOMPARE(BrowserUrl(opened_[0]).toEncoded(),
           QByteArray("https://dl.tamsel.net/e/yz/"
                      "Velinor%E9%9F%B3%E6%95%88%E4%B8%8B%E8%BD%BD%E5%99%A8.zip"));
}

void MainWindowTest::createdHandlerRunsOnce() {
  int runs = 0;
  bool visibleDuringRun = true;
  MainWindow window({.created = [&](MainWindow& created) {
    ++runs;
    visibleDuringRun = created.isVisible();
    SetControlProperty(created.编辑框1, ControlProperty::Disabled, true);
  }});
  OnMainWindowCreated(window);
  QCOMPARE(runs, 1);
  QVERIFY(!visibleDuringRun);
  QVERIFY(std::get<bool>(GetControlProperty(window.编辑框1, ControlProperty::Disabled)));
  // Without handlers both events do nothing.
  MainWindow bare;
  OnMainWindowCreated(bare);
  OnDownloadClicked(bare);
  QVERIFY(!bare.isVisible());
}

void MainWindowTest::labelTextsFit() {
  for (TransLabel* label : {window_->透明标签4, window_->透明标签3, window_->透明标签2}) {
    const QFontMetrics metrics(label->font());
    QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(),
             qPrintable(label->objectName()));
  }
}

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
