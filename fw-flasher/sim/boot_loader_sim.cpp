#include "sim/boot_loader_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "target/chip_table.h"

namespace fw::sim {
namespace {

constexpr int kSyncBytesNeeded = 3;
// After this much silence the simulator expects a new synchronisation.
constexpr auto kQuietRearm = std::chrono::milliseconds(200);
constexpr auto kResyncAfter = std::chrono::milliseconds(300);

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t w = ::write(fd, bytes.data() + sent, bytes.size() - sent);
    if (w > 0) {
      sent += static_cast<std::size_t>(w);
    } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
      struct pollfd pfd {
        fd, POLLOUT, 0
      };
      ::poll(&pfd, 1, 100);
    } else {
      return;
    }
  }
}

}  // namespace

BootLoaderSim::BootLoaderSim(SimChipConfig chip, SimBoardConfig board)
    : chip_(std::move(chip)),
      board_(board),
      parser_([this](const std::vector<std::uint8_t>& p) { OnPacket(p); },
              [this](std::uint8_t b) { OnLooseByte(b); }) {
  current_board_version_ = board_.version;
}

BootLoaderSim::~BootLoaderSim() { Stop(); }

bool BootLoaderSim::Start(std::string& error) {
  master_fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_fd_ < 0 || grantpt(master_fd_) != 0 || unlockpt(master_fd_) != 0) {
    error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[128];
  if (ptsname_r(master_fd_, name, sizeof name) != 0) {
    error = "cannot name the pseudo-terminal";
    return false;
  }
  slave_path_ = name;
  // Holding the slave open keeps the master readable while the flasher is away.
  slave_fd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_fd_ < 0) {
    error = slave_path_ + ": " + std::strerror(errno);
    return false;
  }
  struct termios tio {};
  tcgetattr(slave_fd_, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave_fd_, TCSANOW, &tio);
  fcntl(master_fd_, F_SETFL, fcntl(master_fd_, F_GETFL) | O_NONBLOCK);
  parser_.set_prefer_wide(ChipUsesWideChecksum());
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
  return true;
}

void BootLoaderSim::Stop() {
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
  if (slave_fd_ >= 0) ::close(slave_fd_);
  if (master_fd_ >= 0) ::close(master_fd_);
  slave_fd_ = master_fd_ = -1;
}

bool BootLoaderSim::ChipUsesWideChecksum() const {
  return ProtocolVariant(ChipTable()[static_cast<std::size_t>(chip_.chip_index)]) != 0;
}

void BootLoaderSim::Run(std::stop_token stop) {
  auto last_byte = std::chrono::steady_clock::now();
  std::uint8_t buffer[512];
  while (!stop.stop_requested()) {
    struct pollfd pfd {
      master_fd_, POLLIN, 0
    };
    const int p = ::poll(&pfd, 1, 20);
    const auto now = std::chrono::steady_clock::now();
    if (p > 0 && (pfd.revents & POLLIN)) {
      const ssize_t n = ::read(master_fd_, buffer, sizeof buffer);
      if (n > 0) {
        last_byte = now;
        for (ssize_t i = 0; i < n; ++i) parser_.Feed(buffer[i]);
        continue;
      }
    }
    if (!armed_ && now - last_byte > kQuietRearm) {
      armed_ = true;
      sync_seen_ = 0;
    }
  }
}

void BootLoaderSim::NewSession() {
  sync_seen_ = 0;
  relaying_ = false;
  std::lock_guard lock(mutex_);
  if (board_updated_) current_board_version_ = board_.version_after_update;
}

void BootLoaderSim::Send(const std::vector<std::uint8_t>& payload, bool wide) {
  WriteAll(master_fd_, ChipToHostPacket(payload, wide));
}

void BootLoaderSim::SendStatus(int reply_code) {
  const bool wide = relaying_ || ChipUsesWideChecksum();
  Send(BuildStatusPayload(chip_, reply_code, wide, relaying_), wide);
  ++status_replies_;
}

void BootLoaderSim::SendBoardIdentity() {
  int version;
  {
    std::lock_guard lock(mutex_);
    version = current_board_version_;
  }
  std::vector<std::uint8_t> p(20, 0x00);
  p[0] = 0x51;
  p[1] = static_cast<std::uint8_t>(version >> 8);
  p[2] = static_cast<std::uint8_t>(version);
  p[4] = static_cast<std::uint8_t>(board_.flash_code);
  p[5] = board_.flash_code != 0 ? 1 : 0;
  p[15] = static_cast<std::uint8_t>(board_.model_code);
  p[16] = static_cast<std::uint8_t>(board_.crystal_count);
  p[17] = static_cast<std::uint8_t>(board_.crystal_count >> 8);
  Send(p, true);
}

void BootLoaderSim::OnLooseByte(std::uint8_t byte) {
  if (byte != 0x7F) return;
  // Sync bytes still coming well after an answer: the host starts over.
  if (!armed_ && std::chrono::steady_clock::now() - answered_at_ > kResyncAfter) {
    armed_ = true;
    sync_seen_ = 0;
  }
  if (!armed_) return;
  if (sync_seen_ == 0) NewSession();
  if (++sync_seen_ < kSyncBytesNeeded) return;
  armed_ = false;
  answered_at_ = std::chrono::steady_clock::now();
  if (board_.present) {
    parser_.set_prefer_wide(true);
    SendBoardIdentity();
  } else {
    SendStatus(chip_.reply_code);
  }
}

void BootLoaderSim::OnPacket(const std::vector<std::uint8_t>& payload) {
  {
    std::lock_guard lock(mutex_);
    host_packets_.push_back(payload);
  }
  if (payload.empty()) return;
  const std::uint8_t code = payload[0];
  if (board_.present && !relaying_ && (code == 0xFF || (code >= 0xF1 && code <= 0xF8))) {
    OnBoardCommand(payload);
    return;
  }
  if (board_.present && relaying_ && code == 0xFF) return;  // board housekeeping
  if (code == 0x80 && payload.size() == 1 && chip_.reply_code == 0x80) {
    SendStatus(0x50);
    return;
  }
  // Download commands are not simulated here.
}

void BootLoaderSim::OnBoardCommand(const std::vector<std::uint8_t>& payload) {
  const std::uint8_t code = payload[0];
  auto acknowledge = [&] { Send({code, 0x54}, true); };
  auto offset_of = [&] { return payload[1] << 16 | payload[2] << 8 | payload[3]; };
  switch (code) {
    case 0xFF:
      if (payload.size() >= 2 && payload[1] == 0x07) {
        // The board restarts with its new firmware and waits for a new contact.
        std::lock_guard lock(mutex_);
        current_board_version_ = board_.version_after_update;
        armed_ = true;
        sync_seen_ = 0;
        parser_.set_prefer_wide(ChipUsesWideChecksum());
      }
      return;
    case 0xF1:
      acknowledge();
      return;
    case 0xF3:
      if (payload.size() >= 2) {
        std::lock_guard lock(mutex_);
        announced_blocks_ = payload[1];
      }
      acknowledge();
      return;
    case 0xF2:
    case 0xF4:
    case 0xF6: {
      if (payload.size() < 4) return;
      const int offset = offset_of();
      {
        std::lock_guard lock(mutex_);
        auto& target = code == 0xF2 ? board_block_a_ : board_image_;
        const std::size_t end = static_cast<std::size_t>(offset) + payload.size() - 4;
        if (target.size() < end) target.resize(end, 0xFF);
        std::copy(payload.begin() + 4, payload.end(), target.begin() + offset);
        if (code != 0xF2) board_updated_ = true;
      }
      acknowledge();
      return;
    }
    case 0xF8:
      // The board contacts the chip and passes its status reply on.
      relaying_ = true;
      SendStatus(chip_.reply_code);
      return;
    default:
      return;
  }
}

std::vector<std::vector<std::uint8_t>> BootLoaderSim::HostPackets() const {
  std::lock_guard lock(mutex_);
  return host_packets_;
}

int BootLoaderSim::board_version() const {
  std::lock_guard lock(mutex_);
  return current_board_version_;
}

bool BootLoaderSim::board_updated() const {
  std::lock_guard lock(mutex_);
  return board_updated_;
}

std::vector<std::uint8_t> BootLoaderSim::BoardBlockA() const {
  std::lock_guard lock(mutex_);
  return board_block_a_;
}

std::vector<std::uint8_t> BootLoaderSim::BoardImage() const {
  std::lock_guard lock(mutex_);
  return board_image_;
}

int BootLoaderSim::announced_board_blocks() const {
  std::lock_guard lock(mutex_);
  return announced_blocks_;
}

}  // namespace fw::sim
