// GetControlProperty / SetControlProperty on the real controls.
#include <QTest>

#include "app/control_property.h"
#include "app/main_window.h"
#include "text/encoding.h"

using namespace velinor;

Q_DECLARE_METATYPE(velinor::PropertyValue)
Q_DECLARE_METATYPE(velinor::ControlProperty)

class ControlPropertyTest : public QObject {
  Q_OBJECT

 private slots:
  void roundTrip_data();
  void roundTrip();
  void textsCrossTheWidgetEdgeAsUnicode();
  void colourIsPackedBgr();
  void disabledEditRefusesInput();
  void visibleIsTheControlsOwnFlag();
  void mismatchesChangeNothing();
};

void ControlPropertyTest::roundTrip_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<ControlProperty>("property");
  QTest::addColumn<PropertyValue>("value");

  const auto text = [](const char* utf8) { return PropertyValue(Utf8ToAnsi(utf8)); };
  QTest::newRow("status text") << "透明标签1" << ControlProperty::Text
                               << text("提示：下载完毕!!!文件已放到本软件同目录");
  QTest::newRow("status text, empty") << "透明标签1" << ControlProperty::Text << text("");
  QTest::newRow("label text with an ampersand")
      << "透明标签2" << ControlProperty::Text << text("A&B 音效");
  QTest::newRow("address text") << "编辑框1" << ControlProperty::Text
                                << text("http://www.velinor.com/media/雨声.html?a=1&b=2");
  QTest::newRow("address text, two-byte GBK only")
      << "编辑框1" << ControlProperty::Text << PropertyValue(TextValue("\x81\x40\xb0\xa1"));
  QTest::newRow("red") << "透明标签1" << ControlProperty::TextColor << PropertyValue(255);
  QTest::newRow("blue") << "透明标签2" << ControlProperty::TextColor
                        << PropertyValue(std::int32_t{0xFF8800});
  QTest::newRow("black") << "透明标签3" << ControlProperty::TextColor << PropertyValue(0);
  QTest::newRow("show link") << "透明标签3" << ControlProperty::Visible << PropertyValue(true);
  QTest::newRow("hide status") << "透明标签1" << ControlProperty::Visible << PropertyValue(false);
  QTest::newRow("disable address") << "编辑框1" << ControlProperty::Disabled << PropertyValue(true);
  QTest::newRow("enable address") << "编辑框1" << ControlProperty::Disabled << PropertyValue(false);
}

void ControlPropertyTest::roundTrip() {
  QFETCH(QString, control);
  QFETCH(ControlProperty, property);
  QFETCH(PropertyValue, value);
  MainWindow window;
  QWidget* widget = window.findChild<QWidget*>(control);
  QVERIFY(widget != nullptr);
  SetControlProperty(widget, property, value);
  QVERIFY(GetControlProperty(widget, property) == value);
}

void ControlPropertyTest::textsCrossTheWidgetEdgeAsUnicode() {
  MainWindow window;
  SetControlProperty(window.透明标签1, ControlProperty::Text, Utf8ToAnsi("提示：下载失败"));
  QCOMPARE(window.透明标签1->text(), QString("提示：下载失败"));
  window.编辑框1->setText("http://www.velinor.com/media/钟声.html");
  QCOMPARE(std::get<TextValue>(GetControlProperty(window.编辑框1, ControlProperty::Text)),
           Utf8ToAnsi("http://www.velinor.com/media/钟声.html"));
  // The button keeps its caption behind the image face.
  QCOMPARE(window.按钮1->text(), QString("下载"));
}

void ControlPropertyTest::colourIsPackedBgr() {
  MainWindow window;
  SetControlProperty(window.透明标签1, ControlProperty::TextColor, std::int32_t{0x00332211});
  QCOMPARE(window.透明标签1->textColor(), QColor(0x11, 0x22, 0x33));
  // The byte above blue is not part of the colour.
  SetControlProperty(window.透明标签1, ControlProperty::TextColor, std::int32_t{0x7F0000FF});
  QCOMPARE(window.透明标签1->textColor(), QColor(255, 0, 0));
  QCOMPARE(std::get<std::int32_t>(GetControlProperty(window.透明标签1, ControlProperty::TextColor)),
           255);
}

void ControlPropertyTest::disabledEditRefusesInput() {
  MainWindow window;
  window.show();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  SetControlProperty(window.编辑框1, ControlProperty::Disabled, true);
  QVERIFY(!window.编辑框1->hasFocus());
  QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(40, 130));
  QTest::keyClicks(window.编辑框1, "abc");
  QCOMPARE(window.编辑框1->text(), QString());
  // Drawn greyed: the disabled text colour is not the enabled black.
  QVERIFY(window.编辑框1->palette().color(QPalette::Disabled, QPalette::Text) !=
          window.编辑框1->palette().color(QPalette::Active, QPalette::Text));
}

void ControlPropertyTest::visibleIsTheControlsOwnFlag() {
  MainWindow window;  // never shown
  QCOMPARE(std::get<bool>(GetControlProperty(window.透明标签1, ControlProperty::Visible)), true);
  QCOMPARE(std::get<bool>(GetControlProperty(window.透明标签3, ControlProperty::Visible)), false);
  SetControlProperty(window.透明标签3, ControlProperty::Visible, true);
  QCOMPARE(std::get<bool>(GetControlProperty(window.透明标签3, ControlProperty::Visible)), true);
  window.show();
  QVERIFY(window.透明标签3->isVisible());
}

void ControlPropertyTest::mismatchesChangeNothing() {
  MainWindow window;
  // A value of the wrong type.
  SetControlProperty(window.透明标签1, ControlProperty::Text, std::int32_t{5});
  SetControlProperty(window.透明标签1, ControlProperty::Visible, TextValue("1"));
  SetControlProperty(window.透明标签1, ControlProperty::TextColor, true);
  QCOMPARE(window.透明标签1->text(), QString("欢迎使用此程序"));
  QVERIFY(window.透明标签1->isVisibleTo(&window));
  QCOMPARE(window.透明标签1->textColor(), QColor(Qt::black));
  // A property the control does not have.
  SetControlProperty(window.图片框2, ControlProperty::Text, Utf8ToAnsi("x"));
  QCOMPARE(std::get<TextValue>(GetControlProperty(window.图片框2, ControlProperty::Text)),
           TextValue());
  QCOMPARE(std::get<std::int32_t>(GetControlProperty(window.编辑框1, ControlProperty::TextColor)),
           0);
  // No control at all.
  SetControlProperty(nullptr, ControlProperty::Text, Utf8ToAnsi("x"));
  QCOMPARE(std::get<TextValue>(GetControlProperty(nullptr, ControlProperty::Text)), TextValue());
  QCOMPARE(std::get<bool>(GetControlProperty(nullptr, ControlProperty::Visible)), false);
}

QTEST_MAIN(ControlPropertyTest)
#include "tst_control_property.moc"
