// Whether a terminal is in exclusive use, seen from outside as another program would
// see it. Shared by the tests of relay-sim and of relay-cli against it.
#pragma once

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace relay::testing {

inline bool TerminalIsExclusive(const std::string& path) {
  // A process with root rights may still open an exclusive terminal and ask; others
  // are refused with EBUSY.
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;
  int exclusive = 0;
  ioctl(fd, TIOCGEXCL, &exclusive);
  close(fd);
  return exclusive != 0;
}

}  // namespace relay::testing
