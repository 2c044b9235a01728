// The download board in front of the chip: its identity report, the switch to
// board mode and the update of its own firmware.
#pragma once

#include <cstdint>
#include <optional>

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// With the board's 'Q' reply in the receive buffer. Returns kStepOk when the board
// is ready (board mode on), kStepBoardUpdated when its firmware was replaced (board
// mode off; contact it again), kStepRefused for a wrong acknowledgement,
// kStepTimedOut, kStepStopped, or kStepFailedLogged when the port is gone.
// version_out, when given, receives the board version.
StepResult CheckDownloadBoard(IspLink& link, int* version_out);

// Connects to the board itself rather than a chip: kStepOk ready, kStepFailedLogged
// when a chip answered (or the port is gone), kStepRefused for any other reply,
// the others as above.
StepResult ConnectDownloadBoard(IspLink& link);

// Display name of a board model code; nullopt for a code that is none of the twelve.
std::optional<const char*> BoardModelName(int model_code);
// "64K" ... "16M" for an external flash size code; null for an unknown code.
const char* ExternalFlashSizeText(int size_code);
// The byte written at the end of the board firmware for a board model code.
std::uint8_t FirmwareModelByte(int model_code);

}  // namespace fw
