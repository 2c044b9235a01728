// Synchronising with the boot loader and identifying the chip.
#pragma once

namespace fw {

class IspLink;

// Repeats the sync byte until an accepted status reply is in the receive buffer
// (0), an unexpected reply came (1) or running was cleared (3). A download board
// that answers is checked and brought up first; its other results pass through.
int Handshake(IspLink& link);

// Reads the status reply: version, chip id and sub-model; finds the chip record,
// logs the chip and its options. 0 ok, 1 unknown chip, 4 wrong chip.
int IdentifyTarget(IspLink& link);

}  // namespace fw
