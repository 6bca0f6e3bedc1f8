#include "app/window_images.h"

#include <cstring>

#include "app/embedded_files.h"
#include "app/png_decoder.h"

namespace velinor {
namespace {

std::span<const std::uint8_t> PngOf(WindowImage image) {
  switch (image) {
    case WindowImage::Logo:
      return EmbeddedFile("logo.png");
    case WindowImage::AddressFrame:
      return EmbeddedFile("address-frame.png");
    case WindowImage::DownloadButton:
      return EmbeddedFile("download-button.png");
    case WindowImage::Icon:
      return IconPngImage(EmbeddedFile("velinor.ico"));
  }
  return {};
}

}  // namespace

QImage LoadWindowImage(WindowImage image) {
  std::optional<DecodedImage> decoded = DecodePng(PngOf(image));
  if (!decoded) return {};
  QImage result(decoded->width, decoded->height, QImage::Format_RGBA8888);
  const auto rowBytes = static_cast<std::size_t>(decoded->width) * 4;
  for (int y = 0; y < decoded->height; ++y) {
    std::memcpy(result.scanLine(y), decoded->rgba.data() + static_cast<std::size_t>(y) * rowBytes,
                rowBytes);
  }
  return result;
}

}  // namespace velinor
