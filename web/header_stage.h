// The header stage of a web request: turns the raw header text of the final
// response into the status, the cookies it set and its redirect address.
#pragma once

#include "text/text.h"

namespace velinor {

// Where the stage writes; a null member is an output the caller omitted.
struct HeaderStageOutputs {
  TextValue* returnedHeaders = nullptr;
  TextValue* statusText = nullptr;
  TextValue* returnedCookies = nullptr;
  TextValue* redirectAddress = nullptr;
};

// `rawHeaders` is the status line and the header lines, each ended by "\r\n",
// then "\r\n". When `autoMergeCookies` and the caller gave `sendCookies`, the
// returned cookies are merged with it and both receive the merged text. Calls
// ProcessEvents once per line.
void RunHeaderStage(const TextValue& rawHeaders, TextValue* sendCookies, bool autoMergeCookies,
                    const HeaderStageOutputs& outputs);

}  // namespace velinor
