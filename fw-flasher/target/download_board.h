// The download board in front of the chip: its identity report, the switch to
// board mode and the update of its own firmware.
#pragma once

#include <cstdint>
#include <optional>

namespace fw {

class IspLink;

// With the board's 'Q' reply in the receive buffer. Returns 0 when the board is
// ready (board mode on), -2 when its firmware was replaced (board mode off; contact
// it again), 1 for a wrong acknowledgement, 2 for a time-out, 3 when stopped.
// version_out, when given, receives the board version.
int CheckDownloadBoard(IspLink& link, int* version_out);

// Connects to the board itself rather than a chip: 0 ready, -1 a chip answered,
// 1 any other reply, 2 and 3 as above.
int ConnectDownloadBoard(IspLink& link);

// Display name of a board model code; nullopt for a code that is none of the twelve.
std::optional<const char*> BoardModelName(int model_code);
// "64K" ... "16M" for an external flash size code; null for an unknown code.
const char* ExternalFlashSizeText(int size_code);
// The byte written at the end of the board firmware for a board model code.
std::uint8_t FirmwareModelByte(int model_code);

}  // namespace fw
