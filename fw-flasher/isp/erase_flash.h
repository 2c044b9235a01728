// Erasing the flash before the code is programmed.
#pragma once

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Erases what the download will program, in the command layout of the chip's
// family and firmware, after unlocking it where the boot loader asks for that
// (with the download password on the 7.2 firmware). Fills the chip serial
// number from the reply and sets the guard bytes of the family. kStepRefused
// for a wrong reply, a wrong password (message 8020), a locked chip (8021), or
// a program that does not fit the chip's flash or the erase command.
StepResult EraseFlash(IspLink& link);

}  // namespace fw
