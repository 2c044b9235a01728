// Sets a baud rate that the termios speed constants do not cover.
#pragma once

namespace fw {

// Returns false when the device refuses the rate.
bool SetCustomBaud(int fd, int baud);

}  // namespace fw
