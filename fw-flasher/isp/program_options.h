// Writing the hardware option bytes (and, on newer chips, a new download
// password) after the code.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Builds the option write of the chip's family and firmware in the send buffer
// (positions it does not name hold 0xFF over the first 64 bytes) and returns its
// length. Families 1-6, 15, 16 and 7-10, 17-20 (before 7.2) change bits of the
// option bytes first; those changes stay in the link.
int BuildOptionWrite(IspLink& link);

// Sends the option write and checks the reply; with a new password, the
// password command goes before it (7.2 and 7.3 up to build 1) or instead of
// its reply check (later firmware). The password command is built in a buffer
// of its own, so the send buffer keeps the options for the report that follows.
// A chip that asks for the options again (protocol variant 0) gets them at
// most kMaxOptionRepeats more times (then kStepRefused, message 8221).
StepResult ProgramOptions(IspLink& link);

constexpr int kMaxOptionRepeats = 8;

}  // namespace fw
