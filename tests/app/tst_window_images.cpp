// The embedded images and icon, decoded with our libpng decoder.
#include <QFile>
#include <QTest>
#include <vector>

#include "app/embedded_files.h"
#include "app/png_decoder.h"
#include "app/window_images.h"

using namespace velinor;

Q_DECLARE_METATYPE(velinor::WindowImage)

namespace {

const QColor kNearWhite(254, 254, 254);

std::vector<std::uint8_t> Bytes(const QByteArray& data) {
  return std::vector<std::uint8_t>(data.begin(), data.end());
}

QByteArray Committed(const char* name) {
  QFile file(QStringLiteral(VELINOR_SOURCE_DIR "/resources/") + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class WindowImagesTest : public QObject {
  Q_OBJECT

 private slots:
  void embeddedFilesAreTheCommittedOnes_data();
  void embeddedFilesAreTheCommittedOnes();
  void sizeAndAlpha_data();
  void sizeAndAlpha();
  void addressFrame();
  void downloadButton();
  void logo();
  void icon();
  void brokenFilesDecodeToNothing_data();
  void brokenFilesDecodeToNothing();
};

void WindowImagesTest::embeddedFilesAreTheCommittedOnes_data() {
  QTest::addColumn<QString>("name");
  for (const char* name : {"logo.png", "address-frame.png", "download-button.png", "velinor.ico"}) {
    QTest::newRow(name) << name;
  }
}

void WindowImagesTest::embeddedFilesAreTheCommittedOnes() {
  QFETCH(QString, name);
  const QByteArray committed = Committed(name.toUtf8().constData());
  QVERIFY(!committed.isEmpty());
  const std::span<const std::uint8_t> embedded = EmbeddedFile(name.toStdString());
  QCOMPARE(QByteArray(reinterpret_cast<const char*>(embedded.data()), qsizetype(embedded.size())),
           committed);
  QVERIFY(EmbeddedFile("missing.png").empty());
}

void WindowImagesTest::sizeAndAlpha_data() {
  QTest::addColumn<WindowImage>("image");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<bool>("opaque");
  QTest::newRow("logo") << WindowImage::Logo << QSize(245, 56) << true;
  QTest::newRow("address frame") << WindowImage::AddressFrame << QSize(295, 48) << true;
  QTest::newRow("download button") << WindowImage::DownloadButton << QSize(110, 32) << true;
  QTest::newRow("icon") << WindowImage::Icon << QSize(61, 60) << false;
}

void WindowImagesTest::sizeAndAlpha() {
  QFETCH(WindowImage, image);
  QFETCH(QSize, size);
  QFETCH(bool, opaque);
  const QImage decoded = LoadWindowImage(image);
  QCOMPARE(decoded.size(), size);
  int transparent = 0;
  for (int y = 0; y < decoded.height(); ++y) {
    for (int x = 0; x < decoded.width(); ++x)
      transparent += decoded.pixelColor(x, y).alpha() != 255;
  }
  if (opaque) {
    QCOMPARE(transparent, 0);
  } else {
    QVERIFY(transparent > 0);  // the icon's round mark leaves its corners clear
  }
}

void WindowImagesTest::addressFrame() {
  const QImage frame = LoadWindowImage(WindowImage::AddressFrame);
  const QColor grey(207, 207, 207);
  for (QPoint corner : {QPoint(2, 7), QPoint(291, 7), QPoint(2, 41), QPoint(291, 41)}) {
    QCOMPARE(frame.pixelColor(corner), grey);
  }
  QCOMPARE(frame.pixelColor(150, 7), grey);
  QCOMPARE(frame.pixelColor(2, 24), grey);
  for (QPoint off : {QPoint(1, 7), QPoint(2, 6), QPoint(292, 41), QPoint(291, 42), QPoint(3, 8),
                     QPoint(290, 40), QPoint(0, 0), QPoint(294, 47), QPoint(150, 24)}) {
    QCOMPARE(frame.pixelColor(off), kNearWhite);
  }
}

void WindowImagesTest::downloadButton() {
  const QImage face = LoadWindowImage(WindowImage::DownloadButton);
  QCOMPARE(face.pixelColor(0, 16), QColor(173, 213, 254));
  QCOMPARE(face.pixelColor(109, 16), QColor(224, 172, 243));
  for (int x = 0; x < face.width(); ++x) QCOMPARE(face.pixelColor(x, 0), kNearWhite);
  for (QPoint corner : {QPoint(0, 1), QPoint(109, 1), QPoint(0, 31), QPoint(109, 31)}) {
    QCOMPARE(face.pixelColor(corner), kNearWhite);
  }
  // The glyph and the caption are white.
  int white = 0;
  for (int y = 0; y < face.height(); ++y) {
    for (int x = 0; x < face.width(); ++x) white += face.pixelColor(x, y) == QColor(Qt::white);
  }
  QVERIFY(white > 50);
}

void WindowImagesTest::logo() {
  const QImage logo = LoadWindowImage(WindowImage::Logo);
  const QColor blue(10, 152, 227);
  QCOMPARE(logo.pixelColor(0, 0), kNearWhite);
  QCOMPARE(logo.pixelColor(244, 55), kNearWhite);
  QCOMPARE(logo.pixelColor(28, 6), blue);  // inside the mark
  // The name is drawn in the mark's blue within the 154 columns the logo box
  // shows; nothing beyond them is in that blue.
  int nameBlue = 0, outsideBlue = 0, outsideInk = 0;
  for (int y = 0; y < logo.height(); ++y) {
    for (int x = 56; x < logo.width(); ++x) {
      const QColor pixel = logo.pixelColor(x, y);
      if (x < 154) nameBlue += pixel == blue;
      if (x >= 154) outsideBlue += pixel == blue;
      if (x >= 154) outsideInk += pixel != kNearWhite;
    }
  }
  QVERIFY(nameBlue > 50);
  QCOMPARE(outsideBlue, 0);
  QVERIFY(outsideInk > 50);  // the dot and the subtitle
}

void WindowImagesTest::icon() {
  const QImage icon = LoadWindowImage(WindowImage::Icon);
  QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);
  QCOMPARE(icon.pixelColor(30, 5), QColor(10, 152, 227));
}

void WindowImagesTest::brokenFilesDecodeToNothing_data() {
  QTest::addColumn<QByteArray>("ico");
  QTest::addColumn<bool>("png");  // whether a PNG should come out

  const QByteArray good = Committed("velinor.ico");
  QTest::newRow("the committed icon") << good << true;
  QTest::newRow("empty") << QByteArray() << false;
  QTest::newRow("directory cut short") << good.left(10) << false;
  QTest::newRow("image cut short") << good.left(good.size() - 40) << false;
  QByteArray notIcon = good;
  notIcon[2] = 2;  // a cursor file
  QTest::newRow("cursor file") << notIcon << false;
  QByteArray bitmap = good;
  bitmap[22] = 40;  // the data starts like a BITMAPINFOHEADER
  QTest::newRow("bitmap entry") << bitmap << false;
  QByteArray farOffset = good;
  farOffset[21] = char(0x7F);
  QTest::newRow("offset past the end") << farOffset << false;
}

void WindowImagesTest::brokenFilesDecodeToNothing() {
  QFETCH(QByteArray, ico);
  QFETCH(bool, png);
  const std::vector<std::uint8_t> bytes = Bytes(ico);
  const std::span<const std::uint8_t> image = IconPngImage(bytes);
  QCOMPARE(!image.empty(), png);
  QCOMPARE(DecodePng(image).has_value(), png);
  // Not a PNG at all, or one cut in the middle of its pixels.
  QVERIFY(!DecodePng(bytes).has_value());
  const std::vector<std::uint8_t> logo = Bytes(Committed("logo.png"));
  QVERIFY(!DecodePng(std::span(logo).first(logo.size() / 2)).has_value());
}

QTEST_MAIN(WindowImagesTest)
#include "tst_window_images.moc"
