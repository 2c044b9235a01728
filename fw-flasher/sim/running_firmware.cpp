#include "sim/running_firmware.h"

#include <algorithm>
#include <utility>

#include "sim/baud_commands.h"

namespace fw::sim {
namespace {

// Bytes held per pattern: enough for the longest request a project can carry.
constexpr std::size_t kKeptBytes = 64;
// What came after the reply is kept up to this many bytes.
constexpr std::size_t kKeptAfterReply = 256;

bool AtRate(int wanted, int host_rate) { return wanted <= 0 || RatesAgree(wanted, host_rate); }

void Keep(std::vector<std::uint8_t>& seen, std::uint8_t byte, std::size_t limit) {
  if (seen.size() == limit) seen.erase(seen.begin());
  seen.push_back(byte);
}

}  // namespace

RunningFirmware::RunningFirmware(FirmwareConfig config) : config_(std::move(config)) {}

bool RunningFirmware::Ends(const std::vector<std::uint8_t>& seen,
                           const std::vector<std::uint8_t>& tail) {
  return !tail.empty() && seen.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(),
                    seen.end() - static_cast<std::ptrdiff_t>(tail.size()));
}

FirmwareReaction RunningFirmware::Take(std::uint8_t byte, int host_rate) {
  FirmwareReaction reaction;
  if (!running_) return reaction;
  if (replied_ && after_reply_.size() < kKeptAfterReply) after_reply_.push_back(byte);
  if (!config_.ui_request.empty()) {
    if (AtRate(config_.ui_rate, host_rate)) {
      Keep(ui_seen_, byte, kKeptBytes);
    } else {
      ui_seen_.clear();
    }
    if (Ends(ui_seen_, config_.ui_request)) {
      ui_seen_.clear();
      after_reply_.clear();
      replied_ = true;
      ++answered_;
      reaction.reply = config_.ui_reply;
    }
  }
  if (!config_.boot_command.empty()) {
    if (AtRate(config_.boot_rate, host_rate)) {
      Keep(boot_seen_, byte, kKeptBytes);
    } else {
      boot_seen_.clear();
    }
    if (Ends(boot_seen_, config_.boot_command)) {
      boot_seen_.clear();
      ++booted_;
      running_ = false;
      reaction.boot_loader_starts = true;
    }
  }
  return reaction;
}

void RunningFirmware::Restart() {
  running_ = true;
  replied_ = false;
  ui_seen_.clear();
  boot_seen_.clear();
}

}  // namespace fw::sim
