#include "sim/chip_session.h"

#include <algorithm>
#include <cmath>

#include "sim/baud_commands.h"
#include "sim/erase_commands.h"
#include "sim/option_writes.h"
#include "sim/sim_text.h"

namespace fw::sim {
namespace {

// Command codes as the boot loader receives them.
constexpr std::uint8_t kEndOfDownload = 0xFF;
constexpr std::uint8_t kFinish = 0x82;
constexpr std::uint8_t kPrepare = 0x50;  // 7 bytes; alone, it confirms options (variant 0)
constexpr std::uint8_t kLinkCheck = 0x80;
constexpr std::uint8_t kTrial = 0x8F;
constexpr std::uint8_t kSwitch = 0x8E;
constexpr std::uint8_t kNewSwitch = 0x01;
constexpr std::uint8_t kPassword = 0x05;
constexpr std::uint8_t kSectorErase = 0x84;
constexpr std::uint8_t kAreaErase = 0x03;
constexpr std::uint8_t kFirstKeyBlock = 0x26;
constexpr std::uint8_t kKeyBlock = 0x06;
constexpr std::uint8_t kClose = 0x69;
constexpr std::uint8_t kOldOptions = 0x8D;
constexpr std::uint8_t kNewOptions = 0x04;
constexpr std::uint8_t kNewPasswordCommand = 0x07;
constexpr std::uint8_t kTrimMeasure = 0x65;  // families 25 and 28
constexpr std::uint8_t kMeasure = 0x00;      // newer families
// The range selector families 26, 27 and 29-43 start in, with the trim their
// status reply shows.
constexpr std::uint8_t kStartRange = 0x40;
constexpr std::uint8_t kBlockHeader = 0x00;   // variants 0-2: a program block
constexpr std::uint8_t kResentHeader = 0x30;  // variants 0-2: a block asked for again
constexpr std::uint8_t kBlockMarks = 0x30;    // variants 3+: first-block and below-64-KiB bits
constexpr std::uint8_t kOldProgram = 0x00;
constexpr std::uint8_t kProgram = 0x02;
constexpr std::uint8_t kProgramVariant = 0x82;

// Reply codes.
constexpr std::uint8_t kTaken = 0x54;       // second byte of an accepting reply, variants 3+
constexpr std::uint8_t kWrongCheck = 0x45;  // what a faulty reply carries instead
constexpr std::uint8_t kPrepared = 0x8F;
constexpr std::uint8_t kSwitchedV12 = 0x84;
constexpr std::uint8_t kErasedV0 = 0x80;
constexpr std::uint8_t kErasedV12 = 0x00;
constexpr std::uint8_t kClosed = 0x8D;
constexpr std::uint8_t kWrongPassword = 0x0E;
constexpr std::uint8_t kLocked = 0x0F;
constexpr std::uint8_t kBlockTakenV0 = 0x80;
constexpr std::uint8_t kAskAgainV0 = 0x81;
constexpr std::uint8_t kBlockTakenV12 = 0x00;
constexpr std::uint8_t kAskAgainV12 = 0x30;
constexpr std::uint8_t kOptionsTakenV12 = 0x50;
constexpr std::uint8_t kOptionsConfirmed = 0x10;

constexpr std::size_t kIdCommandLength = 7;  // XX 00 00 36 01 I1 I0
constexpr std::size_t kKeyBlockLength = 64;
constexpr int kKeyLength = 256;
constexpr std::size_t kRecordInReplyAt = 10;

// Protocol variants 3 and above answer with the low four bits of the command.
std::uint8_t EchoCode(std::uint8_t command) { return command & 0x0F; }

std::uint8_t Sum(std::span<const std::uint8_t> data) {
  unsigned sum = 0;
  for (std::uint8_t b : data) sum += b;
  return static_cast<std::uint8_t>(sum);
}

}  // namespace

ChipSession::ChipSession(const SimChipConfig& config, ChipMemory& memory, const SimFaults& faults,
                         int handshake_rate, MeasurementModel* measurement)
    : config_(config),
      traits_(TraitsOf(config)),
      memory_(memory),
      faults_(faults),
      measurement_(measurement),
      handshake_rate_(handshake_rate),
      rate_(handshake_rate),
      run_(traits_) {}

std::vector<std::string> ChipSession::TakeNotes() {
  std::vector<std::string> notes;
  notes.swap(notes_);
  return notes;
}

std::vector<ChipReply> ChipSession::OnPacket(std::span<const std::uint8_t> p) {
  last_was_measurement_ = false;
  if (p.empty()) return {};
  if (p.size() == 1 && p[0] == kEndOfDownload) {
    ended_ = true;
    ++memory_.downloads;
    return {};
  }
  if (silent_ || ended_) return {};
  if (p.size() == 1 && p[0] == kFinish && traits_.variant < 3) return {};
  return traits_.variant < 3 ? OnOldVariantPacket(p) : OnNewVariantPacket(p);
}

std::vector<ChipReply> ChipSession::OnOldVariantPacket(std::span<const std::uint8_t> p) {
  switch (p[0]) {
    case kPrepare:
      if (p.size() == 1 && traits_.variant == 0) return OnOptionsConfirm();
      if (traits_.variant == 0)
        return Refuse(SimStep::kPrepare, "protocol variant 0 has no 50 step");
      return OnIdCommand(SimStep::kPrepare, p, kPrepared);
    case kLinkCheck:
      if (traits_.variant != 0) return Refuse(SimStep::kBaudCheck, "only variant 0 checks with 80");
      return OnIdCommand(SimStep::kBaudCheck, p, kLinkCheck);
    case kTrial:
    case kSwitch:
      return OnSwitch(p);
    case kSectorErase:
      return OnErase(p);
    case kBlockHeader:
    case kResentHeader:
      return OnProgram(p);
    case kClose:
      if (traits_.variant == 0) return Refuse(SimStep::kClose, "protocol variant 0 has no 69 step");
      return OnIdCommand(SimStep::kClose, p, kClosed);
    case kOldOptions:
      return OnOptions(p);
    default:
      return Refuse(SimStep::kBlock, "unknown command " + HexByte(p[0]));
  }
}

std::vector<ChipReply> ChipSession::OnNewVariantPacket(std::span<const std::uint8_t> p) {
  const std::uint8_t c = p[0];
  switch (c) {
    case kTrial:
    case kSwitch:
    case kNewSwitch:
      return OnSwitch(p);
    case kPassword:
      return OnPassword(p);
    case kSectorErase:
    case kAreaErase:
      return OnErase(p);
    case kFirstKeyBlock:
    case kKeyBlock:
      return OnUserKey(p);
    case kOldOptions:
    case kNewOptions:
      return OnOptions(p);
    case kNewPasswordCommand:
      return OnNewPassword(p);
    case kTrimMeasure:
      if (traits_.family == 25 || traits_.family == 28) return OnMeasure(p);
      break;
    case kMeasure:
      if (traits_.sequence == SimSequence::kNewer) return OnMeasure(p);
      break;
    default:
      break;
  }
  const std::uint8_t command = c & ~kBlockMarks;
  if (command == kOldProgram || command == kProgram || command == kProgramVariant) {
    return OnProgram(p);
  }
  return Refuse(SimStep::kBlock, "unknown command " + HexByte(c));
}

std::uint8_t ChipSession::ReplyCode(std::uint8_t command, std::uint8_t variant0,
                                    std::uint8_t variants12) const {
  if (traits_.variant == 0) return variant0;
  if (traits_.variant < 3) return variants12;
  return EchoCode(command);
}

bool ChipSession::GuardsAt(std::span<const std::uint8_t> p, std::size_t at) const {
  return p.size() >= at + 2 && p[at] == traits_.guard1 && p[at + 1] == traits_.guard2;
}

std::vector<ChipReply> ChipSession::Answer(SimStep step, std::vector<std::uint8_t> payload) {
  ChipReply reply;
  reply.payload = std::move(payload);
  reply.rate = rate_;
  reply.rate_after = rate_;
  return Answer(step, std::move(reply));
}

std::vector<ChipReply> ChipSession::Answer(SimStep step, ChipReply reply) {
  if (faults_.short_replies.count(step) != 0 && reply.payload.size() > 1) reply.payload.resize(1);
  if (faults_.silent_after == step &&
      (step != SimStep::kBlock || blocks_ >= std::max(1, faults_.silent_after_block))) {
    silent_ = true;
  }
  return {std::move(reply)};
}

std::vector<ChipReply> ChipSession::Refuse(SimStep step, const std::string& why) {
  notes_.push_back(std::string(StepName(step)) + ": " + why);
  return Answer(step, std::vector<std::uint8_t>{kRefused});
}

// XX 00 00 36 01 I1 I0: the chip id exchanges of protocol variants 0-2.
std::vector<ChipReply> ChipSession::OnIdCommand(SimStep step, std::span<const std::uint8_t> p,
                                                std::uint8_t reply_code) {
  const bool ok = p.size() == kIdCommandLength && p[1] == 0x00 && p[2] == 0x00 && p[3] == 0x36 &&
                  p[4] == 0x01 && p[5] == (traits_.id >> 8) && p[6] == (traits_.id & 0xFF);
  if (!ok) return Refuse(step, "not " + HexByte(p[0]) + " 00 00 36 01 and the chip's id");
  return Answer(step, std::vector<std::uint8_t>{reply_code});
}

std::uint8_t ChipSession::StatusTrimByte() const {
  constexpr std::size_t kTrimAt = 4;
  SimChipConfig reported = config_;
  reported.options = memory_.options;
  reported.frequency = memory_.clock;
  return BuildStatusPayload(reported, 0x00, true, false, memory_.status_bytes)[kTrimAt];
}

std::optional<double> ChipSession::DownloadClock(std::span<const std::uint8_t> p) {
  constexpr std::size_t kSettingBytes = 3;  // command, then two bytes of trim and range
  if (!measured_ || measurement_ == nullptr || p.size() < kSettingBytes) return std::nullopt;
  const TrimProcedure procedure = TrimProcedureOf(traits_);
  OscillatorSetting setting;
  if (procedure == TrimProcedure::kTwoTargets && p[0] == kNewSwitch) {
    // A host that could not trim names the setting the chip runs at already:
    // the trim its status reply shows, in the range it starts in.
    if (p[1] == StatusTrimByte() && p[2] == kStartRange) return std::nullopt;
    setting = {p[1], p[2]};  // the trim and range found for the chip's own clock
  } else if (procedure == TrimProcedure::kGroups && p[0] == kSwitch) {
    setting = {p[2], GroupsRangeOf(p[1])};
  } else if (procedure == TrimProcedure::kGroups && p[0] == kNewSwitch) {
    setting = {p[1], GroupsDownloadRange(traits_.frequency)};
  } else {
    return std::nullopt;
  }
  const auto clock = measurement_->ClockOf(traits_, setting);
  if (!clock) {
    notes_.push_back("baud: trim " + HexByte(setting.trim) + " in range " + HexByte(setting.range) +
                     " is no setting of the oscillator");
  }
  return clock;
}

std::vector<ChipReply> ChipSession::OnSwitch(std::span<const std::uint8_t> p) {
  std::string why;
  ChipTraits chip = traits_;
  if (const auto clock = DownloadClock(p)) chip.frequency = static_cast<int>(std::lround(*clock));
  const auto rate = RateOfSwitch(chip, p, handshake_rate_, why);
  if (!rate) return Refuse(SimStep::kBaud, why);
  ChipReply reply;
  const std::uint8_t c = p[0];
  if (c == kTrial) {
    // A trial: the chip answers at the new rate, then listens at the old one again.
    trial_.assign(p.begin(), p.end());
    reply.payload = {kTrial};
    reply.rate = *rate;
    reply.await_host = true;
    reply.rate_after = rate_;
    return Answer(SimStep::kBaud, std::move(reply));
  }
  if (c == kSwitch && FamilyIn(traits_.family, 1, 24)) {
    if (trial_.empty() || !std::equal(p.begin() + 1, p.end(), trial_.begin() + 1)) {
      return Refuse(SimStep::kBaud, "8E without an 8F trial of the same settings");
    }
  }
  reply.payload = {ReplyCode(c, kSwitch, kSwitchedV12)};
  if (traits_.variant < 3) {
    // The chip moves first and confirms at the new rate.
    reply.rate = *rate;
    reply.await_host = true;
  } else {
    // The chip confirms at the old rate and moves once the reply has left.
    reply.rate = rate_;
  }
  reply.rate_after = *rate;
  rate_ = *rate;
  return Answer(SimStep::kBaud, std::move(reply));
}

std::vector<ChipReply> ChipSession::OnPassword(std::span<const std::uint8_t> p) {
  if (!traits_.fw72()) {
    if (p.size() != 1) return Refuse(SimStep::kPassword, "this boot loader takes 05 alone");
    unlocked_ = true;
    return Answer(SimStep::kPassword, std::vector<std::uint8_t>{kPassword});
  }
  if (p.size() < 5 || p[1] != 0 || p[2] != 0 || !GuardsAt(p, 3)) {
    return Refuse(SimStep::kPassword, "not 05 00 00 and the chip's guard bytes");
  }
  if (memory_.locked) return Answer(SimStep::kPassword, std::vector<std::uint8_t>{kLocked});
  const std::string given(p.begin() + 5, p.end());
  if (!memory_.password.empty() && given != memory_.password) {
    if (++memory_.wrong_passwords >= kPasswordAttempts) memory_.locked = true;
    notes_.push_back("password: wrong download password");
    return Answer(SimStep::kPassword, std::vector<std::uint8_t>{kWrongPassword});
  }
  memory_.wrong_passwords = 0;
  unlocked_ = true;
  return Answer(SimStep::kPassword, std::vector<std::uint8_t>{kPassword, kTaken});
}

std::vector<ChipReply> ChipSession::OnErase(std::span<const std::uint8_t> p) {
  std::string why;
  const auto range = DecodeErase(traits_, p, why);
  if (!range) return Refuse(SimStep::kErase, why);
  if (p[0] == kAreaErase && traits_.variant != 4 && !unlocked_) {
    return Refuse(SimStep::kErase, "03 erase without the 05 exchange before it");
  }
  if (!memory_.flash.Erase(range->from, range->length)) {
    return Refuse(SimStep::kErase, "the erase reaches past the flash (" +
                                       std::to_string(range->length) + " bytes, the flash has " +
                                       std::to_string(memory_.flash.size()) + ")");
  }
  std::vector<std::uint8_t> reply = {ReplyCode(p[0], kErasedV0, kErasedV12)};
  reply.insert(reply.end(), config_.serial_number.begin(), config_.serial_number.end());
  return Answer(SimStep::kErase, std::move(reply));
}

std::vector<ChipReply> ChipSession::OnUserKey(std::span<const std::uint8_t> p) {
  if (traits_.sequence != SimSequence::kNewer) {
    return Refuse(SimStep::kUserKey, "this boot loader takes no user key");
  }
  const std::size_t header = traits_.fw72() ? 5 : 3;
  if (p.size() != header + kKeyBlockLength || p[1] != 0x00 || (traits_.fw72() && !GuardsAt(p, 3))) {
    return Refuse(SimStep::kUserKey, "not a key block of 64 bytes with its header");
  }
  const int offset = p[2];
  if (p[0] == kFirstKeyBlock) {
    if (offset != 0) return Refuse(SimStep::kUserKey, "26 on a key block other than the first");
    memory_.user_key.assign(kKeyLength, 0xFF);
  } else if (offset != key_next_) {
    return Refuse(SimStep::kUserKey, "key block at " + std::to_string(offset) + ", expected " +
                                         std::to_string(key_next_));
  }
  std::copy(p.begin() + static_cast<std::ptrdiff_t>(header), p.end(),
            memory_.user_key.begin() + offset);
  key_next_ = offset + static_cast<int>(kKeyBlockLength) < kKeyLength
                  ? offset + static_cast<int>(kKeyBlockLength)
                  : -1;
  return Answer(SimStep::kUserKey, std::vector<std::uint8_t>{kKeyBlock, kTaken});
}

std::vector<ChipReply> ChipSession::OnProgram(std::span<const std::uint8_t> p) {
  std::string why;
  const auto block = run_.Place(p, why);
  if (!block) return Refuse(SimStep::kBlock, why);
  const SimStep step = block->record ? SimStep::kRecord : SimStep::kBlock;
  if (!memory_.flash.Program(block->address, block->data)) {
    return Refuse(step, "bytes at " + std::to_string(block->address) + " lie past the flash");
  }
  if (block->record) {
    run_.Accepted(*block);
    return Answer(step, std::vector<std::uint8_t>{EchoCode(p[0]), kTaken});
  }
  if (!block->resent) {
    ++blocks_;
    resends_ = 0;
  }
  const auto asked = faults_.resend_requests.find(blocks_);
  if (traits_.variant < 3 && asked != faults_.resend_requests.end() && resends_ < asked->second) {
    ++resends_;
    run_.AskedAgain(*block);
    return Answer(step,
                  std::vector<std::uint8_t>{traits_.variant == 0 ? kAskAgainV0 : kAskAgainV12});
  }
  run_.Accepted(*block);
  const bool wrong = faults_.wrong_reply_block == blocks_;
  if (traits_.variant < 3) {
    const std::uint8_t sum = Sum(block->data);
    const std::uint8_t code = traits_.variant == 0 ? kBlockTakenV0 : kBlockTakenV12;
    return Answer(
        step, std::vector<std::uint8_t>{code, static_cast<std::uint8_t>(wrong ? sum + 1 : sum)});
  }
  return Answer(step, std::vector<std::uint8_t>{EchoCode(p[0]), wrong ? kWrongCheck : kTaken});
}

std::vector<std::uint8_t> ChipSession::OptionRecordReply(std::uint8_t code) const {
  std::vector<std::uint8_t> reply(kRecordInReplyAt, 0x00);
  reply[0] = code;
  if (traits_.variant >= 3) reply[1] = kTaken;
  reply.insert(reply.end(), memory_.options.begin(), memory_.options.end());
  return reply;
}

std::vector<ChipReply> ChipSession::OnOptions(std::span<const std::uint8_t> p) {
  std::string why;
  const auto write = DecodeOptionWrite(traits_, p, why);
  if (!write) return Refuse(SimStep::kOptions, why);
  if (traits_.variant == 0 && option_resends_ < faults_.option_resends) {
    ++option_resends_;
    return Answer(SimStep::kOptions, std::vector<std::uint8_t>{kAskAgainV0});
  }
  for (const auto& [index, byte] : write->record) {
    const std::size_t at = static_cast<std::size_t>(index);
    if (memory_.options.size() <= at) memory_.options.resize(at + 1, 0xFF);
    memory_.options[at] = byte;
  }
  for (const auto& [position, byte] : write->status_bytes) memory_.status_bytes[position] = byte;
  if (write->trim) TakeTrim(*write->trim);
  memory_.option_write.assign(p.begin(), p.end());
  options_written_ = true;
  const std::uint8_t code = ReplyCode(p[0], kOldOptions, kOptionsTakenV12);
  if (write->record_in_reply) return Answer(SimStep::kOptions, OptionRecordReply(code));
  return Answer(SimStep::kOptions, std::vector<std::uint8_t>{code, kTaken});
}

// Protocol variant 0 confirms the option write with a bare 50.
std::vector<ChipReply> ChipSession::OnOptionsConfirm() {
  if (!options_written_) return Refuse(SimStep::kOptions, "50 before an option write");
  return Answer(SimStep::kOptions, OptionRecordReply(kOptionsConfirmed));
}

std::vector<ChipReply> ChipSession::OnNewPassword(std::span<const std::uint8_t> p) {
  if (!traits_.fw72() || FamilyIn(traits_.family, 1, 24)) {
    return Refuse(SimStep::kNewPassword, "this boot loader takes no new password");
  }
  if (p.size() < 5 || p[1] != 0 || p[2] != 0 || !GuardsAt(p, 3)) {
    return Refuse(SimStep::kNewPassword, "not 07 00 00 and the chip's guard bytes");
  }
  memory_.password.assign(p.begin() + 5, p.end());
  return Answer(SimStep::kNewPassword, std::vector<std::uint8_t>{kNewPasswordCommand, kTaken});
}

// A trimmed oscillator runs the chip from its next start at the setting the
// option write programs; without a measurement in this download the host did
// not trim it, and the chip keeps its clock.
void ChipSession::TakeTrim(const OscillatorSetting& setting) {
  memory_.trim = setting;
  if (!measured_ || measurement_ == nullptr) return;
  if (const auto clock = measurement_->ClockOf(traits_, setting)) {
    memory_.clock = static_cast<int>(std::lround(*clock));
  } else {
    notes_.push_back("options: trim " + HexByte(setting.trim) + " in range " +
                     HexByte(setting.range) + " divided by " + std::to_string(setting.divider) +
                     " is no setting of the oscillator; the clock stays");
  }
}

std::vector<ChipReply> ChipSession::OnMeasure(std::span<const std::uint8_t> p) {
  last_was_measurement_ = true;
  ChipReply reply;
  reply.rate = rate_;
  reply.rate_after = rate_;
  reply.measurement = true;
  std::string why = "no oscillator model; the measurement is refused";
  std::optional<std::vector<std::uint8_t>> answer;
  if (measurement_ != nullptr) {
    why.clear();
    answer = measurement_->Measure(traits_, p, handshake_rate_, why);
    if (!answer && why.empty()) return {};
  }
  if (!answer) {
    notes_.push_back("measure: " + why);
    reply.payload = {kRefused};
    return Answer(SimStep::kMeasure, std::move(reply));
  }
  measured_ = true;
  reply.payload = std::move(*answer);
  reply.await_sync = MeasureSyncByte(TrimProcedureOf(traits_));
  return Answer(SimStep::kMeasure, std::move(reply));
}

}  // namespace fw::sim
