// The charset stage of a web request: finds the charset a page declares near
// its start and, unless it needs no conversion, re-decodes the body in it.
#pragma once

#include <memory>

#include "text/text.h"

namespace velinor {

// Holds the page pattern object, the stream holder and the body variant of
// one request: construct it when the request starts, so that it is released
// on every path when the request returns.
class CharsetStage {
 public:
  CharsetStage();
  ~CharsetStage();
  CharsetStage(const CharsetStage&) = delete;
  CharsetStage& operator=(const CharsetStage&) = delete;

  // `result` holds the body taken as text and may be replaced by the
  // re-decoded page. Calls ProcessEvents once when the search could run.
  void Run(const ByteBuffer& body, TextValue& result);

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace velinor
