// The "VBScript.RegExp" component over PCRE2 (16-bit, UTF mode).
//
// RegExp: "Pattern", "IgnoreCase", "Multiline", "Global"; "Execute"(subject)
// gives a match collection, "Replace"(subject, replacement) a string,
// "Test"(subject) a boolean. Match collection: "Count", "Item"(index). Match:
// "Value", "FirstIndex" and "Length" in UTF-16 code units, "SubMatches".
// Sub-match collection: "Count", "Item"(index), empty for a group that did
// not take part. There is no "Singleline": the dot never matches "\n".
#pragma once

#include <memory>

#include "text/automation.h"

namespace velinor {

std::shared_ptr<AutomationObject> MakeRegExpComponent();

}  // namespace velinor
