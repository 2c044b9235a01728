// Kept apart: the kernel's termios2 header cannot be included beside <termios.h>.
#include "isp/link/custom_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace fw {

bool SetCustomBaud(int fd, int baud) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  // Both directions: the input rate has its own type bits above IBSHIFT.
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = static_cast<speed_t>(baud);
  tio.c_ospeed = static_cast<speed_t>(baud);
  return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace fw
