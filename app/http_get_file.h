// The whole-file HTTP GET that fetches a sound's audio.
#pragma once

#include <string_view>

#include "text/text.h"

namespace velinor {

struct HttpGetFileOutcome {
  long status = 0;        // final status code after redirects; 0 when none arrived
  bool complete = false;  // the body ended where the server said it would
};

// One plain HTTP/1.0 GET of `address` (code page 936), redirects followed,
// nothing cached. Returns every body byte received, whatever the status, and
// the bytes received so far when the connection breaks. Blocks without
// pumping window events.
ByteBuffer HttpGetFile(std::string_view address, HttpGetFileOutcome* outcome = nullptr);

}  // namespace velinor
