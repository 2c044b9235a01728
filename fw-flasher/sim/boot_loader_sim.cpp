#include "sim/boot_loader_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sim/baud_commands.h"
#include "sim/chip_models.h"
#include "sim/host_line.h"
#include "sim/sim_dump.h"
#include "sim/sim_text.h"

namespace fw::sim {
namespace {

constexpr std::uint8_t kSyncByte = 0x7F;
constexpr int kSyncBytesNeeded = 3;
// After this much silence the simulator expects a new synchronisation.
constexpr auto kQuietRearm = std::chrono::milliseconds(200);
// Sync bytes (or bytes at a rate the chip is not at) this long after the chip
// last sent something: the host has started over.
constexpr auto kResyncAfter = std::chrono::milliseconds(300);
// Sync bytes sent while a measurement reply was on its way are not a handshake.
constexpr auto kMeasureGrace = std::chrono::milliseconds(500);
// Sync bytes a measurement times before the chip answers it.
constexpr int kMeasureSyncBytes = 2;
// A measurement held this long without its sync bytes: the host has given it up.
constexpr auto kMeasureAbandoned = std::chrono::seconds(6);
// How long a reply due at a new rate waits for the host to move there.
constexpr auto kAwaitHost = std::chrono::seconds(1);
constexpr auto kIdlePoll = std::chrono::milliseconds(20);
constexpr auto kAwaitPoll = std::chrono::milliseconds(2);
// Bytes close together are handled in one pass rather than one wake-up each.
constexpr auto kBatch = std::chrono::microseconds(500);
// What the other end makes of a byte sent at the wrong rate.
constexpr std::uint8_t kGarbled = 0x00;

void WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
  std::size_t sent = 0;
  while (sent < count) {
    ssize_t w = ::write(fd, bytes + sent, count - sent);
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

// The time to wake for a run of bytes due from `next` to `last`.
std::chrono::steady_clock::time_point WakeFor(std::chrono::steady_clock::time_point next,
                                              std::chrono::steady_clock::time_point last,
                                              std::chrono::steady_clock::time_point now) {
  return std::min(last, std::max(next, now + kBatch));
}

}  // namespace

BootLoaderSim::BootLoaderSim(SimChipConfig chip, SimBoardConfig board, SimRunConfig run)
    : chip_(std::move(chip)),
      run_(std::move(run)),
      traits_(TraitsOf(chip_)),
      parser_([this](const std::vector<std::uint8_t>& p) { OnPacket(p); },
              [this](std::uint8_t b) { OnLooseByte(b); }),
      board_(board, traits_),
      memory_(chip_),
      firmware_(run_.firmware) {}

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

bool BootLoaderSim::ChipUsesWideChecksum() const { return traits_.table_variant != 0; }

int BootLoaderSim::BitsPerByte() const { return LineClock::BitsPerByte(traits_.even_parity); }

void BootLoaderSim::Run(std::stop_token stop) {
  last_byte_ = Clock::now();
  while (!stop.stop_requested()) {
    auto now = Clock::now();
    DeliverIncoming(now);
    PumpOutgoing(now);
    if (held_ && now - held_->since > kMeasureAbandoned) DropHeldMeasurement();
    if (!armed_ && now - last_byte_ > kQuietRearm && !Measuring(now)) Rearm();

    const auto wait = std::max(NextWake(now) - now, Clock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    struct timespec timeout {
      static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)
    };
    struct pollfd pfd {
      master_fd_, POLLIN, 0
    };
    if (::ppoll(&pfd, 1, &timeout, nullptr) > 0 && (pfd.revents & POLLIN)) ReadHost(Clock::now());
  }
}

void BootLoaderSim::ReadHost(Clock::time_point now) {
  std::uint8_t buffer[512];
  const ssize_t n = ::read(master_fd_, buffer, sizeof buffer);
  if (n <= 0) return;
  last_byte_ = now;
  const int host_rate = HostLineRate(master_fd_);
  for (ssize_t i = 0; i < n; ++i) {
    const auto due = run_.pace ? host_to_chip_.Carry(now, host_rate, BitsPerByte()) : now;
    incoming_.push_back({buffer[i], host_rate, due});
  }
}

void BootLoaderSim::DeliverIncoming(Clock::time_point now) {
  while (!incoming_.empty() && incoming_.front().due <= now) {
    const IncomingByte byte = incoming_.front();
    incoming_.pop_front();
    TakeByte(byte, now);
  }
}

bool BootLoaderSim::Measuring(Clock::time_point now) const {
  return measuring_ || now < measure_grace_until_;
}

void BootLoaderSim::Rearm() {
  armed_ = true;
  sync_seen_ = 0;
  DropHeldMeasurement();
}

void BootLoaderSim::DropHeldMeasurement() {
  if (!held_) return;
  held_.reset();
  measuring_ = false;
  measure_grace_until_ = Clock::now() + kMeasureGrace;
}

void BootLoaderSim::TakeMeasureSync(std::uint8_t byte) {
  if (byte != held_->sync) {
    if (!held_->noted) {
      Note("measure: " + HexByte(byte) + " while measuring; this boot loader times " +
           HexByte(held_->sync));
    }
    held_->noted = true;
    return;
  }
  if (++held_->syncs_seen < kMeasureSyncBytes) return;
  outgoing_.push_back(std::move(held_->reply));
  held_.reset();
}

void BootLoaderSim::SetLineRate(double rate) {
  line_rate_ = rate;
  line_rate_now_ = static_cast<int>(rate + 0.5);
}

void BootLoaderSim::TakeByte(const IncomingByte& byte, Clock::time_point now) {
  // The board understands the host at any rate (a pseudo-terminal changes its
  // rate at once, even for bytes written before); its chip side is what counts.
  if (board_.present()) {
    parser_.Feed(byte.value);
    return;
  }
  if (FirmwareTakes(byte)) return;
  // A waiting boot loader times the sync byte and takes the host's rate.
  if (byte.value == kSyncByte && armed_ && !Measuring(now)) {
    SetLineRate(byte.host_rate);
    parser_.Feed(byte.value);
    return;
  }
  if (line_rate_ > 0 && !RatesAgree(line_rate_, byte.host_rate)) {
    ++garbled_;
    if (!armed_ && !Measuring(now) && now - last_sent_ > kResyncAfter) Rearm();
    parser_.Feed(kGarbled);
    return;
  }
  parser_.Feed(byte.value);
}

bool BootLoaderSim::FirmwareTakes(const IncomingByte& byte) {
  FirmwareReaction reaction;
  bool holds = false;
  {
    std::lock_guard lock(mutex_);
    if (!firmware_.running()) return false;
    reaction = firmware_.Take(byte.value, byte.host_rate);
    holds = firmware_.HoldsLine();
  }
  if (!reaction.reply.empty()) SendRaw(reaction.reply, byte.host_rate);
  if (reaction.boot_loader_starts) {
    Note("firmware: boot command taken, the boot loader starts");
    Rearm();
    return true;
  }
  return holds;
}

void BootLoaderSim::PumpOutgoing(Clock::time_point now) {
  while (!outgoing_.empty()) {
    Transmission& t = outgoing_.front();
    if (!t.started) {
      if (t.await_host && !t.from_board && now < t.await_until && !ChipPeerAt(t.rate)) return;
      t.started = true;
      // Through a board the chip's rate is not followed; the host's line sets the pace.
      const double pace_rate = t.rate > 0 ? t.rate : HostLineRate(master_fd_);
      for (std::size_t i = 0; i < t.bytes.size(); ++i) {
        t.due.push_back(run_.pace ? chip_to_host_.Carry(now, pace_rate, BitsPerByte()) : now);
      }
    }
    std::size_t end = t.sent;
    while (end < t.bytes.size() && t.due[end] <= now) ++end;
    if (end > t.sent) {
      const bool garble = !t.from_board && t.rate > 0 && !ChipPeerAt(t.rate);
      std::vector<std::uint8_t> chunk(t.bytes.begin() + static_cast<std::ptrdiff_t>(t.sent),
                                      t.bytes.begin() + static_cast<std::ptrdiff_t>(end));
      if (garble) {
        std::fill(chunk.begin(), chunk.end(), kGarbled);
        garbled_ += static_cast<int>(chunk.size());
      }
      WriteAll(master_fd_, chunk.data(), chunk.size());
      t.sent = end;
    }
    if (t.sent < t.bytes.size()) return;
    if (t.rate_after > 0) SetLineRate(t.rate_after);
    last_sent_ = now;
    if (t.measurement) {
      measuring_ = false;
      measure_grace_until_ = now + kMeasureGrace;
    }
    outgoing_.pop_front();
  }
}

BootLoaderSim::Clock::time_point BootLoaderSim::NextWake(Clock::time_point now) const {
  Clock::time_point wake = now + kIdlePoll;
  if (!incoming_.empty()) {
    wake = std::min(wake, WakeFor(incoming_.front().due, incoming_.back().due, now));
  }
  if (!outgoing_.empty()) {
    const Transmission& t = outgoing_.front();
    if (!t.started) {
      wake = std::min(wake, t.await_host ? now + kAwaitPoll : now);
    } else if (t.sent < t.due.size()) {
      wake = std::min(wake, WakeFor(t.due[t.sent], t.due.back(), now));
    }
  }
  return wake;
}

void BootLoaderSim::Queue(const ChipReply& reply, bool wide) {
  Transmission t;
  t.bytes = ChipToHostPacket(reply.payload, wide);
  t.rate = reply.rate;
  t.await_host = reply.await_host;
  t.await_until = Clock::now() + kAwaitHost;
  t.rate_after = reply.rate_after;
  t.measurement = reply.measurement;
  // The chip's port runs at the reply's rate from now on.
  if (reply.rate > 0) SetLineRate(reply.rate);
  if (reply.measurement) measuring_ = true;
  // Through a board the host sends no sync bytes; the board times the chip.
  if (reply.await_sync && !board_.present()) {
    held_ = HeldMeasurement{std::move(t), *reply.await_sync, 0, false, Clock::now()};
    return;
  }
  outgoing_.push_back(std::move(t));
}

void BootLoaderSim::Send(const std::vector<std::uint8_t>& payload, bool wide) {
  ChipReply reply;
  reply.payload = payload;
  reply.rate = line_rate_;
  reply.rate_after = line_rate_;
  Queue(reply, wide);
}

void BootLoaderSim::SendFromBoard(std::vector<std::uint8_t> bytes, bool as_packet) {
  Transmission t;
  t.bytes = as_packet ? ChipToHostPacket(bytes, true) : std::move(bytes);
  t.from_board = true;
  outgoing_.push_back(std::move(t));
}

bool BootLoaderSim::ChipPeerAt(double rate) const {
  if (!board_.present()) return RatesAgree(rate, HostLineRate(master_fd_));
  return RatesAgree(rate, static_cast<int>(board_.chip_rate() + 0.5));
}

void BootLoaderSim::SendRaw(const std::vector<std::uint8_t>& bytes, int rate) {
  Transmission t;
  t.bytes = bytes;
  t.rate = rate;
  outgoing_.push_back(std::move(t));
}

void BootLoaderSim::Note(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    notes_.push_back(text);
  }
  if (run_.on_note) run_.on_note(text);
}

void BootLoaderSim::NewSession() { sync_seen_ = 0; }

void BootLoaderSim::SendStatus(int reply_code) {
  const bool relaying = board_.present() && board_.relaying();
  const bool wide = relaying || ChipUsesWideChecksum();
  const int rate = line_rate_ > 0 ? static_cast<int>(line_rate_ + 0.5) : HostLineRate(master_fd_);
  SimChipConfig reported = chip_;
  if (reported.handshake_baud <= 0) reported.handshake_baud = rate;
  {
    std::lock_guard lock(mutex_);
    reported.options = memory_.options;
    reported.frequency = memory_.clock;
    Send(BuildStatusPayload(reported, reply_code, wide, relaying, memory_.status_bytes), wide);
    session_.emplace(reported, memory_, run_.faults, rate, run_.measurement);
    firmware_.Leave();
  }
  ++status_replies_;
}

void BootLoaderSim::OnLooseByte(std::uint8_t byte) {
  if (held_) {
    TakeMeasureSync(byte);
    return;
  }
  const auto now = Clock::now();
  if (byte != kSyncByte || Measuring(now)) return;
  // Sync bytes still coming well after the chip last spoke: the host starts over.
  if (!armed_ && now - last_sent_ > kResyncAfter) Rearm();
  if (!armed_) return;
  if (sync_seen_ == 0) NewSession();
  if (++sync_seen_ < kSyncBytesNeeded) return;
  armed_ = false;
  last_sent_ = now;
  if (board_.present()) {
    parser_.set_prefer_wide(true);
    std::vector<std::uint8_t> identity;
    {
      std::lock_guard lock(mutex_);
      identity = board_.Contact(HostLineRate(master_fd_));
    }
    SendFromBoard(std::move(identity), true);
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
  if (board_.present()) {
    OnBoardPacket(payload);
    return;
  }
  OnChipPacket(payload);
}

void BootLoaderSim::OnChipPacket(const std::vector<std::uint8_t>& payload) {
  const std::uint8_t code = payload[0];
  if (code == 0x80 && payload.size() == 1 && chip_.reply_code == 0x80) {
    SendStatus(0x50);
    return;
  }
  OnChipCommand(payload);
}

void BootLoaderSim::OnChipCommand(const std::vector<std::uint8_t>& payload) {
  if (!session_) return;
  DropHeldMeasurement();
  std::vector<ChipReply> replies;
  std::vector<std::string> notes;
  bool ended = false;
  {
    std::lock_guard lock(mutex_);
    replies = session_->OnPacket(payload);
    notes = session_->TakeNotes();
    ended = session_->ended();
  }
  // Sync bytes follow a measurement command until its reply starts.
  if (session_->last_was_measurement()) measuring_ = true;
  for (const auto& text : notes) Note(text);
  const bool wide = board_.relaying() || session_->traits().wide_checksum();
  for (const auto& reply : replies) Queue(reply, wide);
  if (ended) EndOfDownload();
}

void BootLoaderSim::EndOfDownload() {
  session_.reset();
  held_.reset();
  measuring_ = false;
  Rearm();
  std::string flash;
  std::string state;
  {
    std::lock_guard lock(mutex_);
    const auto& bytes = memory_.flash.bytes();
    flash.assign(bytes.begin(), bytes.end());
    state =
        fw::sim::StateJson(memory_, SimChipModelAt(chip_.chip_index).name, line_rate_now_.load());
    // The chip restarts into the firmware just written.
    firmware_.Restart();
  }
  std::string error;
  if (!run_.dump_path.empty() && !WriteFileAtomically(run_.dump_path, flash, error)) Note(error);
  if (!run_.state_path.empty() && !WriteFileAtomically(run_.state_path, state, error)) Note(error);
}

void BootLoaderSim::OnBoardPacket(const std::vector<std::uint8_t>& payload) {
  BoardStep step;
  {
    std::lock_guard lock(mutex_);
    step = board_.OnPacket(payload);
  }
  for (const auto& text : step.notes) Note(text);
  if (!step.bare.empty()) SendFromBoard(step.bare, false);
  for (auto& reply : step.replies) SendFromBoard(std::move(reply), true);
  if (step.contact_chip) {
    // The board synchronises with the chip at its chip side's rate and passes
    // the status reply on.
    SetLineRate(board_.chip_rate());
    SendStatus(chip_.reply_code);
  }
  if (step.forward) {
    if (line_rate_ > 0 && !ChipPeerAt(line_rate_)) {
      Note("board: passes " + HexByte(payload[0]) + " on at " +
           std::to_string(static_cast<int>(board_.chip_rate())) + " baud to a chip at " +
           std::to_string(line_rate_now_.load()) + " baud; the chip cannot read it");
    } else {
      OnChipPacket(payload);
    }
  }
  if (step.leave) {
    // The board restarts (with its new firmware, after an update) and waits for a new contact.
    armed_ = true;
    sync_seen_ = 0;
    parser_.set_prefer_wide(ChipUsesWideChecksum());
    std::string error;
    const std::string json = BoardStateJson();
    if (!run_.board_dump_path.empty() && !WriteFileAtomically(run_.board_dump_path, json, error)) {
      Note(error);
    }
  }
}

std::vector<std::vector<std::uint8_t>> BootLoaderSim::HostPackets() const {
  std::lock_guard lock(mutex_);
  return host_packets_;
}

int BootLoaderSim::board_version() const {
  std::lock_guard lock(mutex_);
  return board_.version();
}

bool BootLoaderSim::board_updated() const { return Board().firmware_updates > 0; }

std::vector<std::uint8_t> BootLoaderSim::BoardBlockA() const { return Board().firmware_a; }

std::vector<std::uint8_t> BootLoaderSim::BoardImage() const { return Board().firmware_image; }

int BootLoaderSim::announced_board_blocks() const { return Board().announced_blocks; }

BoardStore BootLoaderSim::Board() const {
  std::lock_guard lock(mutex_);
  return board_.store();
}

std::string BootLoaderSim::BoardStateJson() const {
  std::lock_guard lock(mutex_);
  return BoardJson(board_);
}

std::vector<std::uint8_t> BootLoaderSim::Flash() const {
  std::lock_guard lock(mutex_);
  return memory_.flash.bytes();
}

std::string BootLoaderSim::StateJson() const {
  std::lock_guard lock(mutex_);
  return fw::sim::StateJson(memory_, SimChipModelAt(chip_.chip_index).name, line_rate_now_.load());
}

int BootLoaderSim::ui_requests_answered() const {
  std::lock_guard lock(mutex_);
  return firmware_.requests_answered();
}

int BootLoaderSim::boot_commands_taken() const {
  std::lock_guard lock(mutex_);
  return firmware_.boot_commands_taken();
}

std::vector<std::uint8_t> BootLoaderSim::BytesAfterUiReply() const {
  std::lock_guard lock(mutex_);
  return firmware_.after_reply();
}

int BootLoaderSim::downloads() const {
  std::lock_guard lock(mutex_);
  return memory_.downloads;
}

std::vector<std::string> BootLoaderSim::Notes() const {
  std::lock_guard lock(mutex_);
  return notes_;
}

}  // namespace fw::sim
