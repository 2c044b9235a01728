// Line settings of a serial device through termios, always in binary (raw) mode.
#pragma once

#include <cstdint>

#include "device/SPComm.h"

namespace relay::device {

// Applies every line setting to the open terminal `fd`. False when the device refuses
// them (for example an unsupported baud rate).
bool ApplyLineSettings(int fd, const TCommLineSettings& settings);

// Sets a baud rate that has no termios constant. Kept in its own file because the kernel
// header it needs cannot be combined with <termios.h>.
bool SetCustomBaudRate(int fd, std::uint32_t baud);

}  // namespace relay::device
