// Reads HTTP/1.x requests off one connection's byte stream. Bytes past the end of
// one request stay buffered for the next, so pipelined requests are kept apart.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "tests/support/test_server.h"

namespace velinor::test {

class RequestReader {
 public:
  // Fills up to `size` bytes; returns how many, 0 at the end of the stream, < 0 on error.
  using ReadFunction = std::function<long(char* data, std::size_t size)>;

  enum class Result {
    kOk,
    kEnd,  // the peer closed or failed before the part was complete
    kBad,  // not a request we can frame; BadStatus() says which answer fits
  };

  explicit RequestReader(ReadFunction read);

  // Request line and header lines into method, target, version, headers and head.
  Result ReadHead(ReceivedRequest& request);
  // The body the head announced (Content-Length or chunked), decoded.
  Result ReadBody(ReceivedRequest& request);
  // Whether the head announced a body at all (for "Expect: 100-continue").
  static bool AnnouncesBody(const ReceivedRequest& request);

  int BadStatus() const { return badStatus_; }

 private:
  bool Fill();
  bool Need(std::size_t count);
  // One line with its line end; false at the end of the stream or past `limit`.
  bool ReadLine(std::string& line, std::size_t limit);
  Result Bad(int status);
  Result ReadChunked(std::string& body);

  ReadFunction read_;
  std::string buffer_;
  std::size_t pos_ = 0;
  int badStatus_ = 400;
  bool tooLong_ = false;
};

}  // namespace velinor::test
