// The user's firmware that runs in the chip until something restarts it into
// its boot loader. It can answer a user-interface request with fixed reply
// bytes, and it can insist on a boot command (the pre-command) before the boot
// loader listens. Bytes it takes at another rate than its own are garbled and
// match nothing.
#pragma once

#include <cstdint>
#include <vector>

namespace fw::sim {

struct FirmwareConfig {
  // The bytes the firmware answers with ui_reply; empty: it answers nothing.
  std::vector<std::uint8_t> ui_request;
  std::vector<std::uint8_t> ui_reply;
  int ui_rate = 0;  // 0: any rate
  // The bytes that restart the chip into its boot loader; empty: the boot
  // loader listens at once.
  std::vector<std::uint8_t> boot_command;
  int boot_rate = 0;  // 0: any rate
};

struct FirmwareReaction {
  std::vector<std::uint8_t> reply;  // raw bytes to send at the host's rate
  bool boot_loader_starts = false;
};

class RunningFirmware {
 public:
  explicit RunningFirmware(FirmwareConfig config);

  // One byte from the host, sent at host_rate.
  FirmwareReaction Take(std::uint8_t byte, int host_rate);
  // The firmware is running and keeps the boot loader from the line.
  bool HoldsLine() const { return running_ && !config_.boot_command.empty(); }
  bool running() const { return running_; }
  // The boot loader has answered a synchronisation: the firmware is gone.
  void Leave() { running_ = false; }
  // The chip starts its firmware again (a download ended).
  void Restart();

  int requests_answered() const { return answered_; }
  int boot_commands_taken() const { return booted_; }
  // What came after the last reply, until the boot loader took over.
  const std::vector<std::uint8_t>& after_reply() const { return after_reply_; }

 private:
  FirmwareConfig config_;
  bool running_ = true;
  bool replied_ = false;
  std::vector<std::uint8_t> ui_seen_;
  std::vector<std::uint8_t> boot_seen_;
  std::vector<std::uint8_t> after_reply_;
  int answered_ = 0;
  int booted_ = 0;
};

}  // namespace fw::sim
