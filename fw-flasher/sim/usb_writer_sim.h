// A simulated USB writer: it hands out the target's status reply, takes the
// download commands as vendor requests and carries them out on the target's
// memory (flash, user key, option write, password), the same memory and chip
// configuration the simulated boot loader keeps. Its frame and command-data
// code is its own, written apart from the flasher's, so a misunderstanding on
// one side shows as a failure on the other. Tests make it fall silent, refuse,
// garble its replies or disappear.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/chip_memory.h"
#include "sim/status_reply.h"
#include "target/usb_writer/usb_writer_transport.h"

namespace fw::sim {

// What goes wrong with the reply to a command.
enum class SimUsbReplyFault {
  kNone,
  kSilent,     // no reply comes: a read of it waits
  kBadCheck,   // the check byte is off by one
  kBadStart,   // the frame does not start 46 B9
  kOversize,   // the length byte says 255, more than any reader has room for
  kTruncated,  // the transfer ends two bytes before the frame does
  kEmpty,      // a well-formed frame without data
  kRefused,    // a well-formed frame whose second byte is not 'T'
};

// The fault key of the status reply the writer hands out first.
inline constexpr int kSimStatusReply = -1;

struct SimUsbWriterConfig {
  // The chip behind the writer: its record (and so its flash), status reply,
  // serial number, download password, lock and what its flash held before.
  SimChipConfig chip;
  // Replacements of single status-reply bytes (offset from the reply code),
  // e.g. the factory trim values.
  std::map<int, std::uint8_t> status_bytes;
  std::chrono::milliseconds erase_time{0};  // until the erase reply is ready
};

// One command as the writer understood it.
struct SimUsbCommand {
  int request = 0;
  int value = 0;
  int index = 0;
  std::vector<std::uint8_t> data;  // with the check bytes taken out
  bool checks_ok = true;
};

class SimUsbWriter {
 public:
  explicit SimUsbWriter(SimUsbWriterConfig config);
  SimUsbWriter(const SimUsbWriter&) = delete;
  SimUsbWriter& operator=(const SimUsbWriter&) = delete;

  // --- Test controls ---------------------------------------------------------
  // command: a request code, or kSimStatusReply.
  void SetReplyFault(int command, SimUsbReplyFault fault);
  // The writer disappears as soon as a command with this code arrives.
  void UnplugOnCommand(int command);
  void Unplug();
  // Plugged in again: a fresh session that starts with the status reply.
  void Replug();
  // Opening the writer fails this way (kNone: it opens).
  void SetOpenError(UsbOpenError error);

  // --- What the writer holds ------------------------------------------------
  bool plugged() const { return Read(plugged_); }
  UsbOpenError open_error() const { return Read(open_error_); }
  // The code area followed by the data area.
  std::vector<std::uint8_t> Flash() const;
  // 256 bytes once a key was written, else empty.
  std::vector<std::uint8_t> UserKey() const;
  // The last option block taken.
  std::vector<std::uint8_t> Options() const;
  std::string Password() const;
  bool locked() const;
  std::vector<SimUsbCommand> Commands() const { return Read(commands_); }
  // Requests the writer found wrong (bad setup values, checks, sizes, order).
  std::vector<std::string> Errors() const { return Read(errors_); }
  int erase_count() const { return Read(erase_count_); }
  int erased_extra_sectors() const { return Read(erased_extra_sectors_); }  // N of the last erase

  // --- The USB side ---------------------------------------------------------
  // A host-to-device request with its data stage.
  UsbTransferResult Command(const UsbControlSetup& setup, std::span<const std::uint8_t> data);
  // A device-to-host request: the pending reply, cut to data.size(), when it
  // is ready; nullopt while the host must wait. Gone once unplugged.
  std::optional<UsbTransferResult> TakeReply(const UsbControlSetup& setup,
                                             std::span<std::uint8_t> data);
  // Sleeps until the writer's state changes or the time has passed.
  void WaitForChange(std::chrono::milliseconds at_most);

 private:
  struct Reply {
    std::vector<std::uint8_t> data;
    int command = kSimStatusReply;  // what it answers; decides its fault
    std::chrono::steady_clock::time_point ready_at{};
  };

  // A copy of a field, taken under the lock.
  template <typename T>
  T Read(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }
  void NewSessionLocked();
  std::vector<std::uint8_t> StatusReplyLocked() const;
  std::vector<std::uint8_t> HandleLocked(const SimUsbCommand& command);
  std::vector<std::uint8_t> UnlockLocked(const SimUsbCommand& command);
  std::vector<std::uint8_t> EraseLocked(const SimUsbCommand& command);
  std::vector<std::uint8_t> UserKeyLocked(const SimUsbCommand& command);
  std::vector<std::uint8_t> ProgramLocked(const SimUsbCommand& command, std::size_t max_size);
  void ErrorLocked(std::string text);
  SimUsbReplyFault FaultOfLocked(int command) const;

  SimUsbWriterConfig config_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool plugged_ = true;
  UsbOpenError open_error_ = UsbOpenError::kNone;
  std::map<int, SimUsbReplyFault> faults_;
  std::optional<int> unplug_on_;
  std::optional<Reply> pending_;  // the writer keeps one reply at a time
  bool unlocked_ = false;
  ChipMemory memory_;
  std::vector<SimUsbCommand> commands_;
  std::vector<std::string> errors_;
  int erase_count_ = 0;
  int erased_extra_sectors_ = 0;
};

}  // namespace fw::sim
