// Kept apart: the kernel's termios2 header cannot be included beside <termios.h>.
#include "tests/sim/pty_host.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace fw::sim::test {

using Clock = std::chrono::steady_clock;

PtyHost::PtyHost(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

PtyHost::~PtyHost() {
  if (fd_ >= 0) ::close(fd_);
}

bool PtyHost::SetRate(int rate) {
  struct termios2 tio {};
  if (ioctl(fd_, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~CBAUD;
  tio.c_cflag |= BOTHER;
  tio.c_ispeed = tio.c_ospeed = static_cast<speed_t>(rate);
  return ioctl(fd_, TCSETS2, &tio) == 0;
}

void PtyHost::Write(const Bytes& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else {
      struct pollfd pfd {
        fd_, POLLOUT, 0
      };
      ::poll(&pfd, 1, 50);
    }
  }
}

bool PtyHost::ReadSome(std::chrono::milliseconds wait) {
  struct pollfd pfd {
    fd_, POLLIN, 0
  };
  if (::poll(&pfd, 1, static_cast<int>(wait.count())) <= 0) return false;
  std::uint8_t buffer[512];
  const ssize_t n = ::read(fd_, buffer, sizeof buffer);
  if (n <= 0) return false;
  pending_.insert(pending_.end(), buffer, buffer + n);
  return true;
}

std::optional<Bytes> PtyHost::TakePacket(bool wide) {
  // Drop whatever lies before a packet start.
  while (!pending_.empty()) {
    const auto start = std::find(pending_.begin(), pending_.end(), 0x46);
    pending_.erase(pending_.begin(), start);
    if (pending_.size() < 5) return std::nullopt;
    if (pending_[1] != 0xB9 || pending_[2] != 0x68 || pending_[3] != 0x00) {
      pending_.erase(pending_.begin());
      continue;
    }
    const std::size_t total = pending_[4] + 2u;
    if (pending_.size() < total) return std::nullopt;
    auto payload = ChipPayload(pending_, wide);
    pending_.erase(pending_.begin(), payload ? pending_.begin() + static_cast<std::ptrdiff_t>(total)
                                             : pending_.begin() + 1);
    if (payload) return payload;
  }
  return std::nullopt;
}

std::optional<Bytes> PtyHost::Receive(bool wide, std::chrono::milliseconds within) {
  const auto deadline = Clock::now() + within;
  while (true) {
    if (auto packet = TakePacket(wide)) return packet;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    ReadSome(std::min(left, std::chrono::milliseconds(10)));
  }
}

std::optional<Bytes> PtyHost::Synchronise(bool wide, std::chrono::milliseconds within) {
  const auto deadline = Clock::now() + within;
  while (Clock::now() < deadline) {
    if (pending_.empty()) Write({0x7F});
    if (auto packet = Receive(wide, std::chrono::milliseconds(10))) return packet;
  }
  return std::nullopt;
}

Bytes PtyHost::Drain(std::chrono::milliseconds within) {
  const auto deadline = Clock::now() + within;
  while (Clock::now() < deadline) {
    ReadSome(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
  }
  Bytes all;
  all.swap(pending_);
  return all;
}

}  // namespace fw::sim::test
