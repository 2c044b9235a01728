#include "isp/link/termios_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "isp/link/custom_baud.h"

namespace fw {
namespace {

using Clock = std::chrono::steady_clock;

speed_t StandardSpeed(int baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      return 0;
  }
}

int MillisecondsLeft(Clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

unsigned ParityFlags(Parity parity) {
  switch (parity) {
    case Parity::kOdd:
      return PARENB | PARODD;
    case Parity::kEven:
      return PARENB;
    case Parity::kMark:
      return PARENB | CMSPAR | PARODD;
    case Parity::kSpace:
      return PARENB | CMSPAR;
    case Parity::kNone:
      break;
  }
  return 0;
}

TermiosPort::~TermiosPort() { Close(); }

bool TermiosPort::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = path + ": " + std::strerror(errno);
    return false;
  }
  // TIOCEXCL does not hold back a privileged process; the lock does, among
  // programs that take it.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = path + ": in use by another program";
    ::close(fd);
    return false;
  }
  if (ioctl(fd, TIOCEXCL) != 0) {
    error_ = path + ": cannot get exclusive use: " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  struct termios tio {};
  if (tcgetattr(fd, &tio) != 0) {
    error_ = path + ": not a serial device: " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &tio);
  struct stat st {};
  // Unix98 pseudo-terminal slaves have majors 136 to 143.
  is_pty_ = fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
            major(st.st_rdev) <= 143;
  fd_ = fd;
  path_ = path;
  lost_ = false;
  error_.clear();
  return SetLine(line_);
}

void TermiosPort::Close() {
  if (fd_ >= 0) {
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }
}

bool TermiosPort::SetQueueSizes(int, int) {
  // The kernel sizes its own queues; there is nothing to ask for.
  return is_open();
}

bool TermiosPort::GetLine(LineSettings& line) {
  if (!is_open()) return false;
  line = line_;
  return true;
}

bool TermiosPort::SetLine(const LineSettings& line) {
  if (!is_open()) return false;
  struct termios tio {};
  if (tcgetattr(fd_, &tio) != 0) return false;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  switch (line.data_bits) {
    case 5:
      tio.c_cflag |= CS5;
      break;
    case 6:
      tio.c_cflag |= CS6;
      break;
    case 7:
      tio.c_cflag |= CS7;
      break;
    default:
      tio.c_cflag |= CS8;
      break;
  }
  // A pseudo-terminal has no wire: it refuses parity and ignores the rate. The
  // settings are still kept, so that GetLine reports what was asked for.
  if (!is_pty_) tio.c_cflag |= ParityFlags(line.parity);
  if (line.stop_bits == 2) tio.c_cflag |= CSTOPB;
  speed_t speed = StandardSpeed(line.baud);
  if (speed != 0) {
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
  }
  if (tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
  if (speed == 0 && !SetCustomBaud(fd_, line.baud) && !is_pty_) return false;
  line_ = line;
  return true;
}

bool TermiosPort::SetTimeouts(const PortTimeouts& timeouts) {
  timeouts_ = timeouts;
  return is_open();
}

bool TermiosPort::Purge() {
  if (!is_open()) return false;
  // On a pseudo-terminal written bytes are already with the other side: flushing
  // the output would take back what a serial line would have sent by now.
  return tcflush(fd_, is_pty_ ? TCIFLUSH : TCIOFLUSH) == 0;
}

void TermiosPort::NoteGone(int error_number) {
  // EIO: the other side of a pseudo-terminal closed, or the adapter was pulled
  // out (the line is hung up); ENODEV and ENXIO: the device itself is gone.
  if (error_number == EIO || error_number == ENODEV || error_number == ENXIO) lost_ = true;
}

int TermiosPort::Read(std::uint8_t* buffer, int n) {
  if (!is_open() || lost_ || buffer == nullptr || n <= 0) return 0;
  const int total_ms = timeouts_.read_total_multiplier_ms * n + timeouts_.read_total_constant_ms;
  const auto deadline = Clock::now() + std::chrono::milliseconds(total_ms);
  int got = 0;
  while (got < n) {
    ssize_t r = ::read(fd_, buffer + got, static_cast<size_t>(n - got));
    if (r > 0) {
      got += static_cast<int>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      NoteGone(errno);
      break;
    }
    // Nothing yet (a raw line without VMIN reads 0): wait for more.
    int left = MillisecondsLeft(deadline);
    if (left == 0) break;
    struct pollfd pfd {
      fd_, POLLIN, 0
    };
    int p = ::poll(&pfd, 1, left);
    if (p <= 0) {
      if (p < 0 && errno == EINTR) continue;
      break;
    }
    // A hung-up line or an invalid descriptor never delivers another byte (a
    // hang-up drops what was queued).
    if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      lost_ = true;
      break;
    }
  }
  return got;
}

int TermiosPort::Write(const std::uint8_t* buffer, int n) {
  if (!is_open() || lost_ || buffer == nullptr || n <= 0) return 0;
  const int total_ms = timeouts_.write_total_multiplier_ms * n + timeouts_.write_total_constant_ms;
  const auto deadline = Clock::now() + std::chrono::milliseconds(total_ms);
  int sent = 0;
  while (sent < n) {
    ssize_t w = ::write(fd_, buffer + sent, static_cast<size_t>(n - sent));
    if (w > 0) {
      sent += static_cast<int>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      NoteGone(errno);
      break;
    }
    int left = MillisecondsLeft(deadline);
    if (left == 0) break;
    struct pollfd pfd {
      fd_, POLLOUT, 0
    };
    if (::poll(&pfd, 1, left) <= 0) break;
    if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      lost_ = true;
      break;
    }
  }
  return sent;
}

std::string ResolvePortName(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  if (name.size() > 3 && name.size() <= 8 &&
      (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "com") == 0)) {
    bool digits = true;
    for (size_t i = 3; i < name.size(); ++i) digits = digits && name[i] >= '0' && name[i] <= '9';
    if (digits) {
      int n = std::stoi(name.substr(3));
      if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
    }
  }
  return "/dev/" + name;
}

}  // namespace fw
