#include "sim/usb_writer_sim.h"

#include <algorithm>

#include "sim/chip_models.h"

namespace fw::sim {
namespace {

// Request codes of the writer's commands.
constexpr int kPrepare = 0x01;
constexpr int kProgram = 0x02;
constexpr int kErase = 0x03;
constexpr int kOptions = 0x04;
constexpr int kUnlock = 0x05;
constexpr int kUserKey = 0x06;
constexpr int kNewPassword = 0x07;
constexpr int kUserKeyFirst = 0x26;
constexpr int kProgramFirst = 0x22;
constexpr int kProgramVariant = 0x82;
constexpr int kProgramFirstVariant = 0xA2;
constexpr int kEnd = 0xFF;
// The one request that reads a reply.
constexpr int kReadReply = 0x00;

// The value every command carries, except prepare and end (which carry 0).
constexpr int kCommandValue = 0xA55A;

constexpr std::uint8_t kAccepted = 'T';
constexpr std::uint8_t kNotAccepted = 'N';
constexpr std::uint8_t kWrongPassword = 0x0E;
constexpr std::uint8_t kChipLocked = 0x0F;

// The prepare command's byte: the boot loader generation of the chip's family.
constexpr std::uint8_t kPrepareOlderFamilies = 0x03;
constexpr std::uint8_t kPrepareNewerFamilies = 0x18;
constexpr int kFirstNewerFamily = 53;

constexpr std::size_t kSectorSize = 512;
constexpr std::size_t kUserKeySize = 256;
constexpr std::size_t kUserKeyBlock = 64;
constexpr std::size_t kProgramBlockMax = 128;
constexpr std::size_t kRecordDataMax = 255;
constexpr std::size_t kLongOptionBlock = 64;
constexpr std::size_t kShortOptionBlock = 40;
constexpr std::size_t kGroup = 7;  // data bytes per check byte

constexpr std::uint8_t kFrame0 = 0x46;
constexpr std::uint8_t kFrame1 = 0xB9;
constexpr std::uint8_t kOversizeLength = 0xFF;

// Takes the check bytes out of a command's data stage: every eighth byte, and
// the last byte of a shorter final group. ok is false when a group does not
// sum to 0 or a check byte stands alone.
std::pair<std::vector<std::uint8_t>, bool> Ungroup(std::span<const std::uint8_t> stage) {
  std::vector<std::uint8_t> data;
  bool ok = true;
  for (std::size_t start = 0; start < stage.size(); start += kGroup + 1) {
    const std::size_t group = std::min(kGroup + 1, stage.size() - start);
    if (group < 2) {
      ok = false;
      break;
    }
    unsigned sum = 0;
    for (std::size_t k = 0; k < group; ++k) sum += stage[start + k];
    if ((sum & 0xFF) != 0) ok = false;
    data.insert(data.end(), stage.begin() + static_cast<std::ptrdiff_t>(start),
                stage.begin() + static_cast<std::ptrdiff_t>(start + group - 1));
  }
  return {data, ok};
}

std::vector<std::uint8_t> Frame(const std::vector<std::uint8_t>& data, SimUsbReplyFault fault) {
  std::vector<std::uint8_t> frame = {kFrame0, kFrame1, static_cast<std::uint8_t>(data.size())};
  frame.insert(frame.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (std::uint8_t b : frame) sum += b;
  frame.push_back(static_cast<std::uint8_t>(0xFF - (sum & 0xFF)));
  switch (fault) {
    case SimUsbReplyFault::kBadCheck:
      ++frame.back();
      break;
    case SimUsbReplyFault::kBadStart:
      frame[1] = 0xB8;
      break;
    case SimUsbReplyFault::kOversize:
      frame[2] = kOversizeLength;
      break;
    case SimUsbReplyFault::kTruncated:
      frame.resize(frame.size() - 2);
      break;
    default:
      break;
  }
  return frame;
}

}  // namespace

SimUsbWriter::SimUsbWriter(SimUsbWriterConfig config)
    : config_(std::move(config)), memory_(config_.chip) {
  NewSessionLocked();
}

std::vector<std::uint8_t> SimUsbWriter::Flash() const {
  std::lock_guard lock(mutex_);
  return memory_.flash.bytes();
}

std::vector<std::uint8_t> SimUsbWriter::UserKey() const {
  std::lock_guard lock(mutex_);
  return memory_.user_key;
}

std::vector<std::uint8_t> SimUsbWriter::Options() const {
  std::lock_guard lock(mutex_);
  return memory_.option_write;
}

std::string SimUsbWriter::Password() const {
  std::lock_guard lock(mutex_);
  return memory_.password;
}

bool SimUsbWriter::locked() const {
  std::lock_guard lock(mutex_);
  return memory_.locked;
}

void SimUsbWriter::SetReplyFault(int command, SimUsbReplyFault fault) {
  std::lock_guard lock(mutex_);
  faults_[command] = fault;
}

void SimUsbWriter::UnplugOnCommand(int command) {
  std::lock_guard lock(mutex_);
  unplug_on_ = command;
}

void SimUsbWriter::Unplug() {
  {
    std::lock_guard lock(mutex_);
    plugged_ = false;
    pending_.reset();
  }
  changed_.notify_all();
}

void SimUsbWriter::Replug() {
  {
    std::lock_guard lock(mutex_);
    plugged_ = true;
    unplug_on_.reset();
    NewSessionLocked();
  }
  changed_.notify_all();
}

void SimUsbWriter::SetOpenError(UsbOpenError error) {
  std::lock_guard lock(mutex_);
  open_error_ = error;
}

UsbTransferResult SimUsbWriter::Command(const UsbControlSetup& setup,
                                        std::span<const std::uint8_t> data) {
  UsbTransferResult result;
  {
    std::lock_guard lock(mutex_);
    if (!plugged_) {
      result.error = UsbTransferError::kGone;
      return result;
    }
    if (unplug_on_ && *unplug_on_ == setup.request) {
      plugged_ = false;
      pending_.reset();
      result.error = UsbTransferError::kGone;
    } else {
      SimUsbCommand command;
      command.request = setup.request;
      command.value = setup.value;
      command.index = setup.index;
      auto [bytes, ok] = Ungroup(data);
      command.data = std::move(bytes);
      command.checks_ok = ok;
      commands_.push_back(command);
      const std::vector<std::uint8_t> reply = HandleLocked(command);
      if (setup.request != kEnd) {
        Reply r;
        r.data = reply;
        r.command = setup.request;
        r.ready_at = std::chrono::steady_clock::now() +
                     (setup.request == kErase ? config_.erase_time : std::chrono::milliseconds(0));
        pending_ = std::move(r);
      }
      result.length = static_cast<int>(data.size());
    }
  }
  changed_.notify_all();
  return result;
}

std::optional<UsbTransferResult> SimUsbWriter::TakeReply(const UsbControlSetup& setup,
                                                         std::span<std::uint8_t> data) {
  std::lock_guard lock(mutex_);
  UsbTransferResult result;
  if (!plugged_) {
    result.error = UsbTransferError::kGone;
    return result;
  }
  if (setup.request != kReadReply || setup.value != 0 || setup.index != 0) {
    ErrorLocked("reply read with request " + std::to_string(setup.request) + ", value " +
                std::to_string(setup.value) + ", index " + std::to_string(setup.index));
    result.error = UsbTransferError::kFailed;  // the writer stalls the request
    return result;
  }
  if (!pending_) return std::nullopt;
  const SimUsbReplyFault fault = FaultOfLocked(pending_->command);
  if (fault == SimUsbReplyFault::kSilent || std::chrono::steady_clock::now() < pending_->ready_at) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> reply_data = pending_->data;
  if (fault == SimUsbReplyFault::kEmpty) reply_data.clear();
  if (fault == SimUsbReplyFault::kRefused && reply_data.size() > 1) reply_data[1] = kNotAccepted;
  const std::vector<std::uint8_t> frame = Frame(reply_data, fault);
  pending_.reset();
  const std::size_t n = std::min(frame.size(), data.size());
  std::copy_n(frame.begin(), n, data.begin());
  result.length = static_cast<int>(n);
  return result;
}

void SimUsbWriter::WaitForChange(std::chrono::milliseconds at_most) {
  std::unique_lock lock(mutex_);
  auto until = std::chrono::steady_clock::now() + at_most;
  if (pending_ && pending_->ready_at > std::chrono::steady_clock::now()) {
    until = std::min(until, pending_->ready_at);
  }
  changed_.wait_until(lock, until);
}

void SimUsbWriter::NewSessionLocked() {
  unlocked_ = false;
  Reply status;
  status.data = StatusReplyLocked();
  status.command = kSimStatusReply;
  pending_ = std::move(status);
}

std::vector<std::uint8_t> SimUsbWriter::StatusReplyLocked() const {
  std::vector<std::uint8_t> status =
      BuildStatusPayload(config_.chip, config_.chip.reply_code, false, false);
  for (const auto& [offset, value] : config_.status_bytes) {
    if (offset < 0) continue;
    if (static_cast<std::size_t>(offset) >= status.size()) {
      status.resize(static_cast<std::size_t>(offset) + 1, 0x00);
    }
    status[static_cast<std::size_t>(offset)] = value;
  }
  return status;
}

SimUsbReplyFault SimUsbWriter::FaultOfLocked(int command) const {
  auto it = faults_.find(command);
  return it == faults_.end() ? SimUsbReplyFault::kNone : it->second;
}

void SimUsbWriter::ErrorLocked(std::string text) { errors_.push_back(std::move(text)); }

std::vector<std::uint8_t> SimUsbWriter::HandleLocked(const SimUsbCommand& command) {
  const auto code = static_cast<std::uint8_t>(command.request);
  const std::vector<std::uint8_t> refused = {code, kNotAccepted};
  const std::vector<std::uint8_t> accepted = {code, kAccepted};
  const std::string name = "command " + std::to_string(command.request);
  const int expected_value =
      (command.request == kPrepare || command.request == kEnd) ? 0 : kCommandValue;
  if (command.value != expected_value) {
    ErrorLocked(name + ": value " + std::to_string(command.value));
    return refused;
  }
  if (!command.checks_ok) {
    ErrorLocked(name + ": check bytes wrong");
    return refused;
  }
  const std::vector<std::uint8_t>& data = command.data;
  switch (command.request) {
    case kPrepare: {
      const int family = SimChipModelAt(config_.chip.chip_index).family;
      const std::uint8_t expected =
          family < kFirstNewerFamily ? kPrepareOlderFamilies : kPrepareNewerFamilies;
      if (data != std::vector<std::uint8_t>{expected}) {
        ErrorLocked(name + ": not the one byte " + std::to_string(expected) + " of family " +
                    std::to_string(family));
      }
      return accepted;
    }
    case kUnlock:
      return UnlockLocked(command);
    case kErase:
      return EraseLocked(command);
    case kUserKeyFirst:
    case kUserKey:
      return UserKeyLocked(command);
    case kProgramFirst:
    case kProgramFirstVariant:
    case kProgramVariant:
      return ProgramLocked(command, kProgramBlockMax);
    case kProgram:  // program blocks and extra data records
      return ProgramLocked(command, kRecordDataMax);
    case kOptions:
      if (data.size() != kLongOptionBlock && data.size() != kShortOptionBlock) {
        ErrorLocked(name + ": option block of " + std::to_string(data.size()) + " bytes");
        return refused;
      }
      memory_.option_write = data;
      return accepted;
    case kNewPassword:
      // An empty password travels as one byte 0.
      if (data.size() == 1 && data[0] == 0) {
        memory_.password.clear();
      } else {
        memory_.password.assign(data.begin(), data.end());
      }
      return accepted;
    case kEnd:
      ++memory_.downloads;
      NewSessionLocked();
      return {};
    default:
      ErrorLocked(name + ": unknown");
      return refused;
  }
}

std::vector<std::uint8_t> SimUsbWriter::UnlockLocked(const SimUsbCommand& command) {
  if (memory_.locked) return {kChipLocked};
  const std::vector<std::uint8_t>& data = command.data;
  // An empty password travels as one byte 0.
  const bool sent_none = data.size() == 1 && data[0] == 0;
  const std::string given = sent_none ? std::string() : std::string(data.begin(), data.end());
  if (!memory_.password.empty() && given != memory_.password) {
    if (++memory_.wrong_passwords >= kPasswordAttempts) memory_.locked = true;
    return {kWrongPassword};
  }
  memory_.wrong_passwords = 0;
  unlocked_ = true;
  return {static_cast<std::uint8_t>(command.request), kAccepted};
}

// Erases the whole code area and N sectors above it.
std::vector<std::uint8_t> SimUsbWriter::EraseLocked(const SimUsbCommand& command) {
  const auto code = static_cast<std::uint8_t>(command.request);
  const std::vector<std::uint8_t>& data = command.data;
  if (data.size() != 1) {
    ErrorLocked("erase: " + std::to_string(data.size()) + " bytes");
    return {code, kNotAccepted};
  }
  if (!unlocked_) {
    ErrorLocked("erase before unlock");
    return {code, kNotAccepted};
  }
  const std::uint64_t length = std::uint64_t{memory_.flash.code_size()} + data[0] * kSectorSize;
  if (!memory_.flash.Erase(0, length)) {
    ErrorLocked("erase of " + std::to_string(data[0]) + " sectors beyond the code area reaches " +
                "past the flash of " + std::to_string(memory_.flash.size()) + " bytes");
    return {code, kNotAccepted};
  }
  ++erase_count_;
  erased_extra_sectors_ = data[0];
  std::vector<std::uint8_t> reply = {code};
  reply.insert(reply.end(), config_.chip.serial_number.begin(), config_.chip.serial_number.end());
  return reply;
}

std::vector<std::uint8_t> SimUsbWriter::UserKeyLocked(const SimUsbCommand& command) {
  const auto code = static_cast<std::uint8_t>(command.request);
  const std::vector<std::uint8_t>& data = command.data;
  const std::size_t at = static_cast<std::size_t>(command.index);
  const bool first = command.request == kUserKeyFirst;
  if (data.size() != kUserKeyBlock || at % kUserKeyBlock != 0 || at >= kUserKeySize ||
      first != (at == 0) || (!first && memory_.user_key.size() != kUserKeySize)) {
    ErrorLocked("command " + std::to_string(command.request) + ": key block of " +
                std::to_string(data.size()) + " bytes at " + std::to_string(at));
    return {code, kNotAccepted};
  }
  if (first) memory_.user_key.assign(kUserKeySize, 0xFF);
  std::copy(data.begin(), data.end(), memory_.user_key.begin() + static_cast<std::ptrdiff_t>(at));
  return {code, kAccepted};
}

std::vector<std::uint8_t> SimUsbWriter::ProgramLocked(const SimUsbCommand& command,
                                                      std::size_t max_size) {
  const auto code = static_cast<std::uint8_t>(command.request);
  const std::vector<std::uint8_t>& data = command.data;
  const std::size_t at = static_cast<std::size_t>(command.index);
  // Flash cells only go from 1 to 0; a write over unerased cells shows in the dump.
  if (data.empty() || data.size() > max_size || !memory_.flash.Program(at, data)) {
    ErrorLocked("command " + std::to_string(command.request) + ": " + std::to_string(data.size()) +
                " bytes at " + std::to_string(at));
    return {code, kNotAccepted};
  }
  if (erase_count_ == 0) ErrorLocked("program before erase");
  return {code, kAccepted};
}

}  // namespace fw::sim
