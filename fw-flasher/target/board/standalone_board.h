// Programming a download board for stand-alone use: its control program, then
// the stand-alone image (the header and the user program) that it programs
// chips from without a PC. Both run in board mode on a connected board.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Sends the first code-length bytes of the code image as the board program
// (F1 00, F2 chunks, F3 80). kStepOk, kStepRefused for a wrong or missing
// acknowledgement, kStepTimedOut, kStepStopped.
StepResult WriteBoardProgram(IspLink& link);

// Builds the stand-alone image in the code image from the link's parameters and
// the user program in the image source, and sends it with F4 chunks. Results as
// above; kStepFailedLogged (with a message, nothing sent) for a program or a
// checked area that does not fit the code image behind the header.
StepResult WriteOfflineImage(IspLink& link);

}  // namespace fw
