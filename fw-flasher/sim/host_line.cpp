// Kept apart: the kernel's termios2 header cannot be included beside <termios.h>.
#include "sim/host_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace fw::sim {

int HostLineRate(int fd) {
  // termios2 carries any rate as a number, standard or not.
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
  return static_cast<int>(tio.c_ospeed);
}

}  // namespace fw::sim
