#include "app/png_decoder.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstddef>

namespace velinor {
namespace {

std::uint32_t LittleEndian(std::span<const std::uint8_t> bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

std::optional<DecodedImage> DecodePng(std::span<const std::uint8_t> png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&image, png.data(), png.size()) == 0) {
    return std::nullopt;
  }
  image.format = PNG_FORMAT_RGBA;
  DecodedImage decoded;
  decoded.width = static_cast<int>(image.width);
  decoded.height = static_cast<int>(image.height);
  decoded.rgba.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, decoded.rgba.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return std::nullopt;
  }
  return decoded;
}

std::span<const std::uint8_t> IconPngImage(std::span<const std::uint8_t> ico) {
  // ICONDIR: reserved 0, type 1 (icon), entry count; then 16-byte entries
  // whose last two fields are the data's size and offset.
  constexpr std::size_t kHeader = 6, kEntry = 16;
  if (ico.size() < kHeader || LittleEndian(ico, 0, 2) != 0 || LittleEndian(ico, 2, 2) != 1) {
    return {};
  }
  const std::size_t count = LittleEndian(ico, 4, 2);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kHeader + i * kEntry;
    if (entry + kEntry > ico.size()) return {};
    const std::size_t size = LittleEndian(ico, entry + 8, 4);
    const std::size_t offset = LittleEndian(ico, entry + 12, 4);
    if (offset > ico.size() || size > ico.size() - offset || size < kPngSignature.size()) continue;
    auto data = ico.subspan(offset, size);
    if (std::equal(kPngSignature.begin(), kPngSignature.end(), data.begin())) return data;
  }
  return {};
}

}  // namespace velinor
