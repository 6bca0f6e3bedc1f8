#include "web/charset_stage.h"

namespace velinor {

// Placeholder until the regex and stream components exist: no conversion.
struct CharsetStage::Parts {};

CharsetStage::CharsetStage() : parts_(std::make_unique<Parts>()) {}
CharsetStage::~CharsetStage() = default;

void CharsetStage::Run(const ByteBuffer&, TextValue&) {}

}  // namespace velinor
