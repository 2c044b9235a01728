#pragma once
// The four decoders: a hex text back into an editor's fields. Each returns
// true and sets the fields when the text is of its kind, otherwise returns
// false and leaves the fields as they were. Any text is safe: bytes missing
// from a short or truncated text read as 0 and stored byte runs are cut at
// the end of the text.

#include <string_view>

#include "model/EditorFields.h"

namespace relay::model {

// Kind byte 0x01, 0x02 or 0x03, text longer than 7 characters.
bool DecodeIoAction(std::string_view hexText, IoActionFields& fields);
// Kind byte 0x04, at least 8 characters.
bool DecodeTimer(std::string_view hexText, TimerFields& fields);
// Kind byte 0x00, at least 8 characters.
bool DecodeLoop(std::string_view hexText, LoopFields& fields);
// Kind byte 0x85 to 0x8A, longer than 10 characters. For 0x88 to 0x8A the
// action stays as it was. ASCII patterns and outputs are GBK-decoded; bytes
// that are no valid GBK text are given as hex text instead (pattern with
// patternIsHex set, output in mode 2), so that storing the fields again
// keeps every byte.
bool DecodeSerialTrigger(std::string_view hexText, SerialTriggerFields& fields);

}  // namespace relay::model
