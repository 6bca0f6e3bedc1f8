// Draws the window's images: logo.png, address-frame.png,
// download-button.png and the icon velinor.ico, into the folder given as the
// only argument. Every PNG is 8 bits per channel with alpha; the three window
// images are fully opaque.
//
//   velinor-image-generator <output folder>

#include <png.h>

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <vector>

namespace {

const QColor kNearWhite(254, 254, 254);
const QColor kBlue(10, 152, 227);
const QColor kLightBlue(110, 190, 240);
const QColor kFrameGrey(207, 207, 207);
const QColor kGradientStart(173, 213, 254);
const QColor kGradientEnd(224, 172, 243);
const QString kFontFamily = QStringLiteral("WenQuanYi Micro Hei");

QFont GlyphFont(int pixelSize, bool bold) {
  QFont font(kFontFamily);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

// The site's mark: a blue disc with five white level bars, a sound at a glance.
void DrawMark(QPainter& painter, const QRectF& disc) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kBlue);
  painter.drawEllipse(disc);
  const double d = disc.width();
  const double barWidth = d * 0.085;
  const double gap = d * 0.06;
  const double heights[] = {0.26, 0.46, 0.62, 0.46, 0.26};
  double x = disc.center().x() - (5 * barWidth + 4 * gap) / 2;
  painter.setBrush(Qt::white);
  for (double h : heights) {
    QRectF bar(x, disc.center().y() - d * h / 2, barWidth, d * h);
    painter.drawRoundedRect(bar, barWidth / 2, barWidth / 2);
    x += barWidth + gap;
  }
  painter.restore();
}

QImage Opaque(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(kNearWhite);
  return image;
}

QImage Logo() {
  QImage image = Opaque(245, 56);
  QPainter painter(&image);
  DrawMark(painter, QRectF(3, 3, 50, 50));
  painter.setRenderHint(QPainter::TextAntialiasing);
  // The mark and the three-character name fill the left 154 columns, which
  // is all the logo box shows; the dot and the subtitle lie beyond them.
  painter.setFont(GlyphFont(28, true));
  painter.setPen(kBlue);
  painter.drawText(QRectF(60, 0, 92, 56), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8("维洛尔"));
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kLightBlue);
  painter.drawEllipse(QPointF(160.5, 28.5), 2.5, 2.5);
  painter.setFont(GlyphFont(18, false));
  painter.setPen(kLightBlue);
  painter.drawText(QRectF(167, 0, 78, 56), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8("正版音效"));
  return image;
}

QImage AddressFrame() {
  QImage image = Opaque(295, 48);
  // One-pixel outline with corner pixels (2, 7) and (291, 41), no smoothing.
  for (int x = 2; x <= 291; ++x) {
    image.setPixelColor(x, 7, kFrameGrey);
    image.setPixelColor(x, 41, kFrameGrey);
  }
  for (int y = 7; y <= 41; ++y) {
    image.setPixelColor(2, y, kFrameGrey);
    image.setPixelColor(291, y, kFrameGrey);
  }
  return image;
}

int Mix(int from, int to, double t) { return static_cast<int>(from + (to - from) * t + 0.5); }

QImage DownloadButton() {
  constexpr int kWidth = 110, kHeight = 32;
  // The face's shape, smoothed, below a near-white top row.
  QImage shape(kWidth, kHeight, QImage::Format_Grayscale8);
  shape.fill(0);
  {
    QPainter painter(&shape);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(0, 1, kWidth, kHeight - 1), 6, 6);
  }
  QImage image = Opaque(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      // Exactly the two end colours in the first and the last column.
      const double t = static_cast<double>(x) / (kWidth - 1);
      const QColor face(Mix(kGradientStart.red(), kGradientEnd.red(), t),
                        Mix(kGradientStart.green(), kGradientEnd.green(), t),
                        Mix(kGradientStart.blue(), kGradientEnd.blue(), t));
      const double cover = shape.pixelColor(x, y).red() / 255.0;
      image.setPixelColor(x, y,
                          QColor(Mix(kNearWhite.red(), face.red(), cover),
                                 Mix(kNearWhite.green(), face.green(), cover),
                                 Mix(kNearWhite.blue(), face.blue(), cover)));
    }
  }
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // Download glyph: an arrow into a tray.
  QPen pen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.drawLine(QPointF(22, 8), QPointF(22, 19));
  painter.drawPolyline(QPolygonF({QPointF(17.5, 14.5), QPointF(22, 19), QPointF(26.5, 14.5)}));
  painter.drawPolyline(
      QPolygonF({QPointF(15, 19), QPointF(15, 23.5), QPointF(29, 23.5), QPointF(29, 19)}));
  painter.setFont(GlyphFont(15, true));
  painter.drawText(QRectF(35, 1, 72, kHeight - 1), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8("立即下载"));
  return image;
}

QImage Icon() {
  QImage image(61, 60, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  DrawMark(painter, QRectF(1.5, 1, 58, 58));
  return image;
}

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// The image as a PNG file in memory, RGBA with 8 bits per channel. Rows are
// stored unfiltered: the files stay small either way, and the program then
// decodes them at start without undoing a filter per byte.
std::vector<unsigned char> EncodePng(const QImage& source) {
  const QImage rgba = source.convertToFormat(QImage::Format_RGBA8888);
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    out.clear();
    return out;
  }
  png_set_write_fn(png, &out, AppendBytes, nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(rgba.width()),
               static_cast<png_uint_32>(rgba.height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < rgba.height(); ++y) {
    png_write_row(png, rgba.constScanLine(y));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void PutLittleEndian(std::vector<unsigned char>& out, unsigned value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// An icon file holding one PNG-compressed 32-bit image.
std::vector<unsigned char> EncodeIco(const QImage& image) {
  const std::vector<unsigned char> png = EncodePng(image);
  if (png.empty()) return {};
  std::vector<unsigned char> ico;
  PutLittleEndian(ico, 0, 2);  // reserved
  PutLittleEndian(ico, 1, 2);  // an icon
  PutLittleEndian(ico, 1, 2);  // one image
  PutLittleEndian(ico, static_cast<unsigned>(image.width()), 1);
  PutLittleEndian(ico, static_cast<unsigned>(image.height()), 1);
  PutLittleEndian(ico, 0, 1);   // no palette
  PutLittleEndian(ico, 0, 1);   // reserved
  PutLittleEndian(ico, 1, 2);   // planes
  PutLittleEndian(ico, 32, 2);  // bits per pixel
  PutLittleEndian(ico, static_cast<unsigned>(png.size()), 4);
  PutLittleEndian(ico, 6 + 16, 4);  // data follows the one entry
  ico.insert(ico.end(), png.begin(), png.end());
  return ico;
}

bool Write(const QString& path, const std::vector<unsigned char>& bytes) {
  QFile file(path);
  if (bytes.empty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const auto size = static_cast<qint64>(bytes.size());
  return file.write(reinterpret_cast<const char*>(bytes.data()), size) == size;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: velinor-image-generator <output folder>\n");
    return 2;
  }
  if (!QFontDatabase::families().contains(kFontFamily)) {
    std::fprintf(stderr, "velinor-image-generator: the font %s is not installed\n",
                 qPrintable(kFontFamily));
    return 1;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool ok = Write(folder + "/logo.png", EncodePng(Logo()));
  ok = Write(folder + "/address-frame.png", EncodePng(AddressFrame())) && ok;
  ok = Write(folder + "/download-button.png", EncodePng(DownloadButton())) && ok;
  ok = Write(folder + "/velinor.ico", EncodeIco(Icon())) && ok;
  if (!ok) {
    std::fprintf(stderr, "velinor-image-generator: could not write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
