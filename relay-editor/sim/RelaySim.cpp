#include "sim/RelaySim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <stdexcept>

namespace relay::sim {

namespace {

using TClock = std::chrono::steady_clock;

// An incomplete frame is given up when no byte follows for this long.
constexpr int kFrameGapMs = 200;
// How often an idle simulator looks for exclusive use left behind by a client.
constexpr int kExclusiveCheckMs = 100;

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

std::chrono::nanoseconds ByteTime(std::uint32_t baud) {
  // 8 data bits, no parity, 1 stop bit: 10 bits on the line per byte.
  return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

}  // namespace

TRelaySimulator::TRelaySimulator(TRelaySimOptions options) : options_(std::move(options)) {
  silentAfter_ = options_.silentAfter;
  sector_.fill(0xFF);
  if (!options_.sectorFile.empty()) {
    std::error_code ec;
    if (std::filesystem::exists(options_.sectorFile, ec)) {
      std::ifstream in(options_.sectorFile, std::ios::binary);
      std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
      if (!in.good() && !in.eof())
        throw std::runtime_error("cannot read sector file " + options_.sectorFile);
      if (bytes.size() != kSectorSize)
        throw std::runtime_error("sector file " + options_.sectorFile + " holds " +
                                 std::to_string(bytes.size()) + " bytes, not 512");
      std::memcpy(sector_.data(), bytes.data(), kSectorSize);
    } else {
      SaveSector();
    }
  }

  masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (masterFd_ < 0) throw SystemError("posix_openpt");
  char name[128];
  if (grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0 ||
      ptsname_r(masterFd_, name, sizeof name) != 0) {
    close(masterFd_);
    throw SystemError("pseudo-terminal");
  }
  slavePath_ = name;
  slaveFd_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (slaveFd_ < 0 || stopFd_ < 0) {
    auto error = SystemError("pseudo-terminal");
    for (int fd : {stopFd_, slaveFd_, masterFd_})
      if (fd >= 0) close(fd);
    throw error;
  }
  // Raw from the start, so nothing is echoed back before the program opens its side.
  termios t{};
  tcgetattr(slaveFd_, &t);
  cfmakeraw(&t);
  tcsetattr(slaveFd_, TCSANOW, &t);
  fcntl(masterFd_, F_SETFL, fcntl(masterFd_, F_GETFL) | O_NONBLOCK);
}

TRelaySimulator::~TRelaySimulator() {
  Stop();
  if (thread_.joinable()) thread_.join();
  for (int fd : {stopFd_, slaveFd_, masterFd_}) close(fd);
}

void TRelaySimulator::Start() {
  thread_ = std::thread([this] { Run(); });
}

void TRelaySimulator::Stop() {
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = write(stopFd_, &one, sizeof one);
}

TSector TRelaySimulator::Sector() const {
  std::lock_guard lock(sectorMutex_);
  return sector_;
}

void TRelaySimulator::SetSector(const TSector& sector) {
  std::lock_guard lock(sectorMutex_);
  sector_ = sector;
}

bool TRelaySimulator::Sleep(std::chrono::nanoseconds span) {
  if (span <= std::chrono::nanoseconds::zero()) return true;
  // ppoll: a byte at 115200 baud lasts 87 µs, so whole milliseconds would not do.
  const timespec wait{static_cast<time_t>(span.count() / 1'000'000'000),
                      static_cast<long>(span.count() % 1'000'000'000)};
  pollfd p{stopFd_, POLLIN, 0};
  return ppoll(&p, 1, &wait, nullptr) == 0;
}

void TRelaySimulator::ReleaseAbandonedExclusiveUse() {
  // A client opens the terminal, locks it (flock) and sets the exclusive mode; a client
  // that ends without clearing the mode leaves it on the terminal, whose master side
  // this simulator keeps, so no program could open it again. The lock goes with the
  // client's last descriptor: exclusive mode without a lock means no one holds it.
  int exclusive = 0;
  if (ioctl(slaveFd_, TIOCGEXCL, &exclusive) != 0 || !exclusive) return;
  if (flock(slaveFd_, LOCK_EX | LOCK_NB) != 0) return;
  ioctl(slaveFd_, TIOCNXCL);
  flock(slaveFd_, LOCK_UN);
  if (options_.log)
    *options_.log << "exclusive use left behind by a client cleared\n" << std::flush;
}

void TRelaySimulator::Run(int extraStopFd) {
  std::vector<std::uint8_t> buffer;
  std::uint8_t chunk[4096];
  auto rxLineFree = TClock::now();
  for (;;) {
    pollfd fds[3] = {{masterFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}, {extraStopFd, POLLIN, 0}};
    const int timeout = buffer.empty() ? kExclusiveCheckMs : kFrameGapMs;
    const int r = poll(fds, extraStopFd >= 0 ? 3 : 2, timeout);
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents || (extraStopFd >= 0 && fds[2].revents)) return;
    if (r == 0) {  // idle; an incomplete frame stays incomplete
      DropFrameStart(buffer);
      ReleaseAbandonedExclusiveUse();
    } else if (fds[0].revents & POLLIN) {
      const ssize_t n = read(masterFd_, chunk, sizeof chunk);
      if (n <= 0) {
        if (!SleepMs(20)) return;
        continue;
      }
      if (options_.baud > 0) {
        // The bytes are here only once the line has carried them.
        rxLineFree = std::max(rxLineFree, TClock::now()) + n * ByteTime(options_.baud);
        if (!Sleep(rxLineFree - TClock::now())) return;
      }
      Log("rx", chunk, static_cast<std::size_t>(n));
      buffer.insert(buffer.end(), chunk, chunk + n);
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      if (!SleepMs(20)) return;
    }

    TRequest request;
    while (TakeRequest(buffer, request) == TScan::Frame) {
      ++frames_;
      Handle(request);
    }
  }
}

void TRelaySimulator::Handle(const TRequest& q) {
  if (q.address != options_.address) return;
  const int silentAfter = silentAfter_;
  if (silentAfter >= 0 && answers_ >= silentAfter) return;
  const std::uint8_t a = options_.address;
  switch (q.command) {
    case kCommandRead:
      if (q.block >= 1 && q.block <= kBlockCount) {
        TSector s = Sector();
        Answer(ReadAnswer(a, q.block, s.data() + (q.block - 1) * kBlockSize));
      }
      break;
    case kCommandWrite:
      if (q.block == 0) {
        {
          std::lock_guard lock(sectorMutex_);
          sector_.fill(0xFF);
        }
        SaveSectorOrWarn();
        Answer(Acknowledgement(a, 0));
      } else if (q.block <= kBlockCount && q.data.size() == kBlockSize) {
        {
          std::lock_guard lock(sectorMutex_);
          const std::size_t first = (q.block - 1) * kBlockSize;
          std::memcpy(sector_.data() + first, q.data.data(), kBlockSize);
          // A cell that does not keep what it was given.
          const auto flip = static_cast<std::size_t>(options_.flipByte);
          if (options_.flipByte >= 0 && flip >= first && flip < first + kBlockSize)
            sector_[flip] = static_cast<std::uint8_t>(~sector_[flip]);
        }
        SaveSectorOrWarn();
        Answer(Acknowledgement(a, q.block));
      }
      break;
    case kCommandRestart:
      ++restarts_;
      break;
    default:
      break;
  }
}

void TRelaySimulator::Answer(std::vector<std::uint8_t> frame) {
  const int number = ++answers_;
  if (number == options_.corruptAnswer) frame.back() = static_cast<std::uint8_t>(frame.back() + 1);
  if (!SleepMs(options_.delayMs)) return;
  std::vector<std::uint8_t> bytes = options_.noise;
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  Log("tx", bytes.data(), bytes.size());
  if (options_.splitPauseMs >= 0) {
    // The first chunk ends after the frame's length byte.
    const std::size_t first = options_.noise.size() + 3;
    if (!SendPaced(bytes.data(), first)) return;
    if (!SleepMs(options_.splitPauseMs)) return;
    SendPaced(bytes.data() + first, bytes.size() - first);
  } else {
    SendPaced(bytes.data(), bytes.size());
  }
}

bool TRelaySimulator::SendPaced(const std::uint8_t* data, std::size_t count) {
  const auto start = TClock::now();
  std::size_t done = 0;
  while (done < count) {
    std::size_t part = count - done;
    if (options_.baud > 0) {
      // A byte is handed over once the line has carried it, in slices of at least a
      // millisecond (as a USB serial adapter delivers them) or the rest of the answer.
      const auto byteTime = ByteTime(options_.baud);
      const auto carried = static_cast<std::size_t>((TClock::now() - start) / byteTime);
      if (carried <= done) {
        const std::size_t slice = std::max<std::size_t>(1, std::chrono::milliseconds(1) / byteTime);
        const std::size_t until = std::min(count, done + slice);
        if (!Sleep(start + static_cast<long>(until) * byteTime - TClock::now())) return false;
        continue;
      }
      part = std::min(count, carried) - done;
    }
    const ssize_t n = write(masterFd_, data + done, part);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    } else {
      pollfd p[2] = {{masterFd_, POLLOUT, 0}, {stopFd_, POLLIN, 0}};
      poll(p, 2, 100);
      if (p[1].revents) return false;
    }
  }
  return true;
}

void TRelaySimulator::SaveSector() {
  if (options_.sectorFile.empty()) return;
  TSector copy = Sector();
  const std::string temp = options_.sectorFile + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(copy.data()),
              static_cast<std::streamsize>(copy.size()));
    if (!out) throw std::runtime_error("cannot write sector file " + temp);
  }
  std::filesystem::rename(temp, options_.sectorFile);
}

void TRelaySimulator::SaveSectorOrWarn() {
  try {
    SaveSector();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "relay-sim: %s\n", e.what());
  }
}

void TRelaySimulator::Log(const char* direction, const std::uint8_t* data, std::size_t count) {
  if (!options_.log) return;
  std::string line = direction;
  char hex[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(hex, sizeof hex, " %02X", data[i]);
    line += hex;
  }
  *options_.log << line << '\n' << std::flush;
}

}  // namespace relay::sim
