// Synchronising with the boot loader and identifying the chip.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Repeats the sync byte until an accepted status reply is in the receive buffer
// (kStepOk), an unexpected reply came (kStepRefused), running was cleared
// (kStepStopped) or the port is gone (kStepFailedLogged). A download board that
// answers is checked and brought up first; its other results pass through.
// With target.accept_any_chip set, the chip's framing is not known: the line
// alternates between the two framings until a reply passes the checksum of one.
StepResult Handshake(IspLink& link);

// Reads the status reply: version, chip id and sub-model; finds the chip record,
// logs the chip and its options. kStepOk, kStepRefused for an unknown chip,
// kStepWrongChip when the project expects another one.
StepResult IdentifyTarget(IspLink& link);

}  // namespace fw
