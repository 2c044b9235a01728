// Programming the code image block by block, then the extra data records.
#pragma once

#include <cstdint>

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Programs the link's code length of the code image in blocks of the chip's
// block size with program command `command` (0x00 or 0x02 in the classic
// sequence, 0x02 or 0x82 in the newer one); with `with_records`, the extra data
// records follow on the 7.2 firmware. Blank blocks are skipped where the boot
// loader allows it. A block the chip asks for again is sent again, at most
// kMaxBlockRepeats times (then kStepRefused, message 8231). Through a download
// board to a chip of protocol variant 3 and above the blocks are pipelined: the
// next one goes as soon as the board has acknowledged the last, while the chip
// may still owe its reply to one block.
StepResult ProgramCode(IspLink& link, std::uint8_t command, bool with_records);

constexpr int kMaxBlockRepeats = 8;

}  // namespace fw
