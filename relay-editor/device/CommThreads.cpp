#include "device/CommThreads.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>

namespace relay::device {

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void PostToOwner(const TCommShared& s, std::function<void(TComm&)> raise) {
  s.queue.Post([owner = s.owner, raise = std::move(raise)] {
    if (auto comm = owner.lock()) raise(**comm);
  });
}

void PostReceived(const TCommShared& s, std::vector<std::uint8_t> chunk) {
  PostToOwner(s, [chunk = std::move(chunk)](TComm& c) {
    if (c.OnReceiveData) c.OnReceiveData(c, chunk.data(), static_cast<std::uint16_t>(chunk.size()));
  });
}

void PostHangup(const TCommShared& s) {
  PostToOwner(s, [](TComm& c) {
    if (c.OnRequestHangup) c.OnRequestHangup(c);
  });
}

void PostLineError(const TCommShared& s, std::uint32_t flags) {
  PostToOwner(s, [flags](TComm& c) {
    if (c.OnReceiveError) c.OnReceiveError(c, flags);
  });
}

void PostModemChange(const TCommShared& s, std::uint32_t event) {
  PostToOwner(s, [event](TComm& c) {
    if (c.OnModemStateChange) c.OnModemStateChange(c, event);
  });
}

void PostDrained(const TCommShared& s) {
  PostToOwner(s, [](TComm& c) {
    if (c.OnSendDataEmpty) c.OnSendDataEmpty(c);
  });
}

int PollTimeout(std::optional<TClock::time_point> deadline) {
  if (!deadline) return -1;
  auto left = std::chrono::ceil<milliseconds>(*deadline - TClock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1'000'000));
}

void Earliest(std::optional<TClock::time_point>& a, TClock::time_point b) {
  if (!a || b < *a) a = b;
}

bool Signalled(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

// Watches the modem lines and the driver's error counters. Pseudo-terminals have
// neither; the watch is then off.
class TLineWatch {
 public:
  explicit TLineWatch(int fd) : fd_(fd) {
    modemOk_ = ioctl(fd_, TIOCMGET, &modem_) == 0;
    countsOk_ = ioctl(fd_, TIOCGICOUNT, &counts_) == 0;
  }
  bool Active() const { return modemOk_ || countsOk_; }

  void Check(const TCommShared& s) {
    if (countsOk_) {
      serial_icounter_struct now{};
      if (ioctl(fd_, TIOCGICOUNT, &now) == 0) {
        std::uint32_t flags = 0;
        if (now.buf_overrun != counts_.buf_overrun) flags |= CE_RXOVER;
        if (now.overrun != counts_.overrun) flags |= CE_OVERRUN;
        if (now.parity != counts_.parity) flags |= CE_RXPARITY;
        if (now.frame != counts_.frame) flags |= CE_FRAME;
        if (now.brk != counts_.brk) flags |= CE_BREAK;
        counts_ = now;
        if (flags) PostLineError(s, flags);
      }
    }
    if (modemOk_) {
      int now = 0;
      if (ioctl(fd_, TIOCMGET, &now) == 0) {
        std::uint32_t event = 0;
        if ((now ^ modem_) & TIOCM_CD) event |= ME_CARRIER;
        if ((now & TIOCM_RI) && !(modem_ & TIOCM_RI)) event |= ME_RING;
        modem_ = now;
        if (event) PostModemChange(s, event);
      }
    }
  }

 private:
  int fd_;
  bool modemOk_ = false;
  bool countsOk_ = false;
  int modem_ = 0;
  serial_icounter_struct counts_{};
};

constexpr milliseconds kLineWatchPeriod{100};

}  // namespace

TCommShared::~TCommShared() {
  // The exclusive mode stays on the terminal while another descriptor holds it open.
  if (portFd >= 0) ioctl(portFd, TIOCNXCL);
  for (int fd : {workFd, closeFd, portFd})
    if (fd >= 0) close(fd);
}

bool OutputPending(int fd) {
  int pending = 0;
  return ioctl(fd, TIOCOUTQ, &pending) == 0 && pending > 0;
}

void TCommShared::Store(const TCommLineSettings& line, const TCommTimeouts& t) {
  readInterval = t.ReadIntervalTimeout;
  readTotalMultiplier = t.ReadTotalTimeoutMultiplier;
  readTotalConstant = t.ReadTotalTimeoutConstant;
  writeTotalMultiplier = t.WriteTotalTimeoutMultiplier;
  writeTotalConstant = t.WriteTotalTimeoutConstant;
  parityMarked = line.ParityCheck;
  ignoreNullChar = line.IgnoreNullChar;
  replaceWhenParityError = line.ReplaceWhenParityError;
  replacedChar = line.ReplacedChar;
}

bool TParityMarkDecoder::Decode(const std::uint8_t* data, std::size_t count, bool replace,
                                std::uint8_t replacement, std::vector<std::uint8_t>& out) {
  bool error = false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t b = data[i];
    switch (state_) {
      case 0:
        if (b == 0xFF)
          state_ = 1;
        else
          out.push_back(b);
        break;
      case 1:
        if (b == 0xFF) {
          out.push_back(0xFF);
          state_ = 0;
        } else if (b == 0x00) {
          state_ = 2;
        } else {  // not a mark sequence: keep both bytes
          out.push_back(0xFF);
          out.push_back(b);
          state_ = 0;
        }
        break;
      default:
        out.push_back(replace ? replacement : b);
        error = true;
        state_ = 0;
        break;
    }
  }
  return error;
}

void RunReadThread(std::shared_ptr<TCommShared> sp) {
  TCommShared& s = *sp;
  TLineWatch watch(s.portFd);
  TParityMarkDecoder decoder;
  std::vector<std::uint8_t> chunk;
  chunk.reserve(kReadChunkMax);
  std::vector<std::uint8_t> raw(kReadChunkMax);

  auto readStart = TClock::now();
  auto lastByte = readStart;
  auto lastWatch = readStart;

  auto deliver = [&] {
    if (!chunk.empty()) {
      PostReceived(s, std::move(chunk));
      chunk = {};
      chunk.reserve(kReadChunkMax);
    }
    readStart = TClock::now();
  };

  for (;;) {
    const std::uint32_t interval = s.readInterval;
    const std::uint64_t total =
        std::uint64_t{s.readTotalMultiplier} * kReadChunkMax + s.readTotalConstant;
    const bool immediate = interval == kReadIntervalImmediate && total == 0;
    // Bytes read just before the time-outs changed to "return at once" would
    // otherwise wait for a deadline that no longer exists.
    if (immediate && !chunk.empty()) deliver();

    std::optional<TClock::time_point> deadline;
    if (!chunk.empty() && interval != 0 && !immediate)
      Earliest(deadline, lastByte + milliseconds(interval));
    if (total != 0) Earliest(deadline, readStart + milliseconds(total));
    if (watch.Active()) Earliest(deadline, lastWatch + kLineWatchPeriod);

    pollfd fds[2] = {{s.portFd, POLLIN, 0}, {s.closeFd, POLLIN, 0}};
    const int r = poll(fds, 2, PollTimeout(deadline));
    if (r < 0) {
      if (errno == EINTR) continue;
      PostHangup(s);
      break;
    }
    if (fds[1].revents) break;

    if (fds[0].revents & POLLIN) {
      const std::size_t room = kReadChunkMax - chunk.size();
      const ssize_t n = read(s.portFd, raw.data(), room);
      if (n > 0) {
        const bool marked = s.parityMarked;
        std::vector<std::uint8_t> bytes;
        bool lineError = false;
        if (marked)
          lineError = decoder.Decode(raw.data(), static_cast<std::size_t>(n),
                                     s.replaceWhenParityError, s.replacedChar, bytes);
        else
          bytes.assign(raw.begin(), raw.begin() + n);
        const bool dropNul = s.ignoreNullChar;
        for (std::uint8_t b : bytes)
          if (!(dropNul && b == 0)) chunk.push_back(b);
        if (lineError) PostLineError(s, CE_RXPARITY);
        lastByte = TClock::now();
        if (chunk.size() >= kReadChunkMax || immediate) deliver();
      } else if (n == 0) {
        // A raw terminal also reads 0 bytes when nothing is there; only a hung-up
        // line ends the thread.
        if (fds[0].revents & (POLLHUP | POLLERR)) {
          PostHangup(s);
          break;
        }
      } else if (errno != EAGAIN && errno != EINTR) {
        if (errno != EBADF) PostHangup(s);
        break;
      }
    } else if (fds[0].revents & POLLNVAL) {
      break;
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      PostHangup(s);
      break;
    }

    const auto now = TClock::now();
    if (!chunk.empty() && interval != 0 && !immediate && now - lastByte >= milliseconds(interval))
      deliver();
    if (total != 0 && now - readStart >= milliseconds(total)) deliver();
    if (watch.Active() && now - lastWatch >= kLineWatchPeriod) {
      watch.Check(s);
      lastWatch = now;
    }
  }
  tcflush(s.portFd, TCIFLUSH);
  s.readerDone = true;
}

namespace {

enum class TWait { Close, Work, Done, Failed };

// Waits until the driver has put the bytes on the line (where it can tell) or new work
// arrives or the port closes.
TWait WaitTransmitted(TCommShared& s) {
  for (;;) {
    int pending = 0;
    if (ioctl(s.portFd, TIOCOUTQ, &pending) != 0 || pending <= 0) return TWait::Done;
    pollfd fds[2] = {{s.closeFd, POLLIN, 0}, {s.workFd, POLLIN, 0}};
    const int r = poll(fds, 2, 2);
    if (r < 0 && errno != EINTR) return TWait::Failed;
    if (r > 0 && fds[0].revents) return TWait::Close;
    if (r > 0 && fds[1].revents) return TWait::Work;
  }
}

// Writes the whole block. False when the thread has to end.
bool WriteBlock(TCommShared& s, const std::vector<std::uint8_t>& block) {
  std::size_t done = 0;
  while (done < block.size()) {
    const std::size_t left = block.size() - done;
    const std::uint64_t limit = std::uint64_t{s.writeTotalMultiplier} * left + s.writeTotalConstant;
    pollfd fds[2] = {{s.portFd, POLLOUT, 0}, {s.closeFd, POLLIN, 0}};
    // A part that times out ends; the rest of the block follows in the next part.
    const int r =
        poll(fds, 2, limit ? static_cast<int>(std::min<std::uint64_t>(limit, 1'000'000)) : -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      PostHangup(s);
      return false;
    }
    if (fds[1].revents) return false;
    if (r == 0) continue;
    if (fds[0].revents & POLLNVAL) return false;
    if (fds[0].revents & (POLLERR | POLLHUP) && !(fds[0].revents & POLLOUT)) {
      PostHangup(s);
      return false;
    }
    const ssize_t n = write(s.portFd, block.data() + done, left);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      if (errno != EBADF) PostHangup(s);
      return false;
    }
  }
  return true;
}

}  // namespace

void RunWriteThread(std::shared_ptr<TCommShared> sp) {
  TCommShared& s = *sp;
  bool reportDrain = true;  // the first empty queue after start or after a block
  bool cutShort = false;    // stopped with a block or more still to send
  for (;;) {
    std::optional<std::vector<std::uint8_t>> block;
    {
      std::lock_guard lock(s.sendMutex);
      if (!s.sendQueue.empty()) {
        block = std::move(s.sendQueue.front());
        s.sendQueue.pop_front();
      }
    }
    if (!block) {
      if (reportDrain) {
        const TWait w = WaitTransmitted(s);
        if (w == TWait::Close) break;
        if (w == TWait::Failed) {
          PostHangup(s);
          break;
        }
        if (w == TWait::Work) {
          std::uint64_t n;
          [[maybe_unused]] auto r = read(s.workFd, &n, sizeof n);
          continue;
        }
      }
      {
        std::lock_guard lock(s.sendMutex);
        if (!s.sendQueue.empty()) continue;
        s.sendEmpty = true;
      }
      if (reportDrain) {
        PostDrained(s);
        reportDrain = false;
      }
      pollfd fds[2] = {{s.closeFd, POLLIN, 0}, {s.workFd, POLLIN, 0}};
      const int r = poll(fds, 2, -1);
      if (r < 0) {
        if (errno == EINTR) continue;
        PostHangup(s);
        break;
      }
      if (fds[0].revents) break;
      std::uint64_t n;
      [[maybe_unused]] auto rd = read(s.workFd, &n, sizeof n);
      continue;
    }
    if (Signalled(s.closeFd) || !WriteBlock(s, *block)) {
      cutShort = true;
      break;
    }
    reportDrain = true;
  }
  // Only what has not gone out is dropped: on a pseudo-terminal a flush would also
  // take back bytes the other side has not read yet.
  if (cutShort || OutputPending(s.portFd)) tcflush(s.portFd, TCOFLUSH);
  {
    std::lock_guard lock(s.sendMutex);
    s.sendEmpty = true;
  }
  s.writerDone = true;
}

}  // namespace relay::device
