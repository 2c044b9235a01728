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

// Takes the byte into what was seen for the pattern (a byte at another rate is
// garbled and breaks it); true when the pattern is complete, which starts the
// watch over.
bool Completes(std::vector<std::uint8_t>& seen, const std::vector<std::uint8_t>& pattern, int rate,
               std::uint8_t byte, int host_rate) {
  if (pattern.empty()) return false;
  if (!AtRate(rate, host_rate)) {
    seen.clear();
    return false;
  }
  if (seen.size() == kKeptBytes) seen.erase(seen.begin());
  seen.push_back(byte);
  const bool complete = seen.size() >= pattern.size() &&
                        std::equal(pattern.begin(), pattern.end(),
                                   seen.end() - static_cast<std::ptrdiff_t>(pattern.size()));
  if (complete) seen.clear();
  return complete;
}

}  // namespace

RunningFirmware::RunningFirmware(FirmwareConfig config) : config_(std::move(config)) {}

FirmwareReaction RunningFirmware::Take(std::uint8_t byte, int host_rate) {
  FirmwareReaction reaction;
  if (!running_) return reaction;
  if (replied_ && after_reply_.size() < kKeptAfterReply) after_reply_.push_back(byte);
  if (Completes(ui_seen_, config_.ui_request, config_.ui_rate, byte, host_rate)) {
    after_reply_.clear();
    replied_ = true;
    ++answered_;
    reaction.reply = config_.ui_reply;
  }
  if (Completes(boot_seen_, config_.boot_command, config_.boot_rate, byte, host_rate)) {
    ++booted_;
    running_ = false;
    reaction.boot_loader_starts = true;
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
