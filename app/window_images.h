// The window's images and icon, decoded from the embedded files.
#pragma once

#include <QImage>

namespace velinor {

enum class WindowImage {
  Logo,            // logo.png, 245 x 56
  AddressFrame,    // address-frame.png, 295 x 48
  DownloadButton,  // download-button.png, 110 x 32
  Icon             // velinor.ico, one 61 x 60 image
};

// A null image when the embedded file does not decode.
QImage LoadWindowImage(WindowImage image);

}  // namespace velinor
