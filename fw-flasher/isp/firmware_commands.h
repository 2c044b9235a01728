// The two commands a serial download may send to the user's firmware before the
// handshake, each at its own line settings: the user-interface command, whose
// reply goes into the image, and the pre-command that restarts the target
// into its boot loader.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;
struct LineSettings;
struct TargetCommand;

// The command's rate (a rate of 0 or less keeps the line's), 8 data bits, its
// parity (mark and space included) and stop bits; a value outside the port
// control block's numbers means none (parity) or one (stop bits). One and a
// half stop bits become two, the nearest a termios line offers.
void ApplyCommandLine(const TargetCommand& command, LineSettings& line);

// Logs 8112, writes the first bytes one at a time 5 ms apart, reads the reply
// into the placements' reply buffer until its length is reached (reads return
// within 20 ms, so that the 5,000 ms time-out and a stop take effect), writes
// the second bytes the same way and logs 8113. kStepOk; kStepTimedOut after
// 5,000 ms without the whole reply; kStepStopped; kStepFailedLogged when the
// port is gone. Nothing when the command is not enabled.
StepResult SendUserInterfaceCommand(IspLink& link);

// Writes the pre-command's bytes in one write and pauses 50 ms. Nothing when
// it is not enabled.
void SendPreCommand(IspLink& link);

}  // namespace fw
