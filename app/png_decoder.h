// Decoding the window's images with libpng's simplified API.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velinor {

// Rows from top to bottom, four bytes (R, G, B, A) per pixel, 8 bits each.
struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};

// Nothing when `png` is not a PNG file that libpng can read.
std::optional<DecodedImage> DecodePng(std::span<const std::uint8_t> png);

// The PNG-compressed image of an icon file (.ico): the first directory entry
// whose data is a PNG. Empty when there is none or the file is cut short.
std::span<const std::uint8_t> IconPngImage(std::span<const std::uint8_t> ico);

}  // namespace velinor
