#include "isp/program_options.h"

#include <algorithm>
#include <array>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "isp/step_support.h"
#include "target/chips/family_traits.h"
#include "target/chips/link_chip.h"
#include "target/chips/option_block.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

using namespace boot_loader;

constexpr int kPauseMs = 10;
constexpr int kTimeoutMs = 2000;
constexpr int kFilledBytes = 64;
// Firmware 7.2 and 7.3 from this build on, and 7.4 on, send the options first.
constexpr int kBuildWithOptionsFirst = 2;
constexpr int kFirmware73 = 0x73;
// Positions of the option bytes that the classic layouts name.
constexpr int kTrim2 = 2;
constexpr int kTrim3 = 3;

// Builds at a fixed position of the send buffer: positions not named stay 0xFF.
class Layout {
 public:
  explicit Layout(IspLink& link) : s_(link.framing.send_buffer) {
    std::fill_n(s_, kFilledBytes, 0xFF);
  }
  void Put(int at, std::uint8_t b) {
    s_[at] = b;
    size_ = std::max(size_, at + 1);
  }
  void PutFrequency(int at, std::uint32_t f) {
    for (int i = 0; i < 4; ++i) Put(at + i, static_cast<std::uint8_t>(f >> (24 - 8 * i)));
  }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }

 private:
  std::uint8_t* s_;
  int size_ = 0;
};

bool SendsOptionsFirst(const IspLink& link) {
  const int v = link.target.fw_version;
  return v > kFirmware73 ||
         ((v == kFirmware72 || v == kFirmware73) && link.target.fw_build >= kBuildWithOptionsFirst);
}

int FrequencyAndOptionsFrom72(IspLink& link, Layout& out, std::initializer_list<int> options) {
  const std::vector<std::uint8_t>& opt = link.image.option_bytes;
  out.Put(0, kWriteOptions);
  out.Put(1, 0x00);
  out.Put(2, 0x00);
  out.Put(3, link.target.guard[0]);
  out.Put(4, link.target.guard[1]);
  out.PutFrequency(5, static_cast<std::uint32_t>(link.clock.measured_frequency));
  int at = 9;
  for (int k : options) out.Put(at++, opt[static_cast<std::size_t>(k)]);
  return out.Size();
}

// The families that take the option block, behind 04 00 00 (and the guard bytes
// from 7.2 on).
int WithOptionBlock(IspLink& link, Layout& out) {
  const bool fw72 = link.target.fw_version >= kFirmware72;
  out.Put(0, kWriteOptions);
  out.Put(1, 0x00);
  out.Put(2, 0x00);
  if (fw72) {
    out.Put(3, link.target.guard[0]);
    out.Put(4, link.target.guard[1]);
  }
  const int at = fw72 ? 5 : 3;
  const std::span<std::uint8_t, kOptionBlockSize> block(link.framing.send_buffer + at,
                                                        kOptionBlockSize);
  const int length = BuildOptionBlock(link, block);
  out.SetSize(at + length);
  return out.Size();
}

}  // namespace

int BuildOptionWrite(IspLink& link) {
  std::vector<std::uint8_t>& opt = link.image.option_bytes;
  const FamilyTraits& traits = TraitsOf(link);
  const int v = link.target.fw_version;
  const OptionWriteRule rule = traits.OptionWriteFor(v);
  const bool fw72 = v >= kFirmware72;
  const auto measured = static_cast<std::uint32_t>(link.clock.measured_frequency);
  Layout out(link);
  if (rule == OptionWriteRule::kByteOne) {
    opt[1] &= static_cast<std::uint8_t>(~0x02);
    if (fw72) {
      for (std::uint8_t b : {kWriteOptions, std::uint8_t{0x00}, std::uint8_t{0x00},
                             link.target.guard[0], link.target.guard[1], opt[1]}) {
        out.Put(out.Size(), b);
      }
    } else {
      for (std::uint8_t b : {kWriteOptionsClassic, opt[1], std::uint8_t{0xFF}, std::uint8_t{0xF6},
                             std::uint8_t{0xFF}}) {
        out.Put(out.Size(), b);
      }
    }
    return out.Size();
  }
  if (rule == OptionWriteRule::kModeByte) {
    opt[1] = static_cast<std::uint8_t>((opt[1] & 0x08) | 0x40);
    out.Put(0, kWriteOptionsClassic);
    out.Put(1, opt[1]);
    return out.Size();
  }
  if (rule == OptionWriteRule::kClockWithByte4) {
    if (fw72) return FrequencyAndOptionsFrom72(link, out, {14, 1, 0, 4});
    opt[14] &= static_cast<std::uint8_t>(~0x08);
    out.Put(0, kWriteOptionsClassic);
    out.Put(1, opt[0]);
    out.Put(2, opt[1]);
    out.Put(3, opt[14]);
    if (traits.Has(family_flags::kOptionByte4AtByte5)) out.Put(5, opt[4]);
    out.PutFrequency(6, measured);
    out.Put(10, opt[4]);
    out.Put(12, opt[0]);
    out.Put(13, opt[1]);
    out.Put(18, opt[14]);
    out.PutFrequency(26, measured);
    out.SetSize(33);
    return out.Size();
  }
  if (rule == OptionWriteRule::kClockWithByte2) {
    if (fw72) return FrequencyAndOptionsFrom72(link, out, {14, 2, 1, 0});
    out.Put(0, kWriteOptionsClassic);
    out.Put(1, opt[0]);
    out.Put(2, opt[1]);
    out.Put(3, opt[2]);
    out.Put(9, opt[14]);
    out.PutFrequency(17, measured);
    out.SetSize(21);
    return out.Size();
  }
  if (rule == OptionWriteRule::kTrim) {
    out.Put(0, kWriteOptionsClassic);
    out.Put(1, static_cast<std::uint8_t>((opt[0] | 0x80) ^ 0x10));
    out.Put(2, opt[1] ^ 0x07);
    out.Put(3, opt[2]);
    out.Put(4, link.clock.trim_bytes[kTrim3]);
    out.Put(5, link.clock.trim_bytes[kTrim2]);
    out.Put(13, opt[14]);
    out.SetSize(20);
    return out.Size();
  }
  return WithOptionBlock(link, out);
}

namespace {

bool ReplyTakesOptions(const IspLink& link, std::uint8_t command) {
  const std::uint8_t code = link.ReplyCode();
  switch (link.target.protocol_variant) {
    case 0:
      return code == kWriteOptionsClassic || code == kOptionsTaken;
    case 1:
    case 2:
      return code == kOptionsTakenVariants1And2;
    default:
      return ReplyAccepts(link, command);
  }
}

// 07 00 00 g1 g2 and the new password, in a buffer of its own.
StepResult SendNewPassword(IspLink& link) {
  std::array<std::uint8_t, 5 + DownloadPassword::kMaxLength> buffer{};
  CommandBuilder command(buffer.data(), static_cast<int>(buffer.size()));
  const DownloadPassword& password = link.request.new_password;
  command.Add({kNewPassword, 0x00, 0x00})
      .AddGuard(link)
      .Add(std::span<const std::uint8_t>(password.bytes)
               .first(static_cast<std::size_t>(
                   std::clamp(password.length, 0, DownloadPassword::kMaxLength))));
  link.SendPacket(command.data(), command.size());
  return link.WaitForReply(kTimeoutMs);
}

bool TakesBlock(const IspLink& link) {
  return TraitsOf(link).OptionWriteFor(link.target.fw_version) == OptionWriteRule::kOptionBlock;
}

// One attempt of the option write: kStepOk when the chip took it, kStepRefused
// for a wrong reply; `again` set when protocol variant 0 asks for it again.
StepResult WriteOnce(IspLink& link, bool& again) {
  again = false;
  const int v = link.target.fw_version;
  const int n = BuildOptionWrite(link);
  const bool password_command = TakesBlock(link) && v >= kFirmware72;
  std::uint8_t last_command = link.framing.send_buffer[0];
  if (password_command && !SendsOptionsFirst(link) && link.request.password_present) {
    if (const StepResult r = SendNewPassword(link); r != kStepOk) return r;
    if (link.ReplyCode() != kNewPassword) return kStepRefused;
    link.Pause(kPauseMs);
  }
  link.SendPacket(link.framing.send_buffer, n);
  if (const StepResult r = link.WaitForReply(kTimeoutMs); r != kStepOk) return r;
  if (password_command && SendsOptionsFirst(link) && link.request.password_present &&
      link.request.new_password.length > 0) {
    if (link.ReplyCode() != kWriteOptions) return kStepRefused;
    link.Pause(kPauseMs);
    if (const StepResult r = SendNewPassword(link); r != kStepOk) return r;
    last_command = kNewPassword;
  }
  if (link.target.protocol_variant == 0 && link.ReplyCode() == kResendOptions) {
    again = true;
    return kStepOk;
  }
  return ReplyTakesOptions(link, last_command) ? kStepOk : kStepRefused;
}

}  // namespace

StepResult ProgramOptions(IspLink& link) {
  link.Pause(kPauseMs);
  const std::uint32_t start = TickCount();
  LogMessage(link, link.GetText(kMsgProgrammingOptions));
  for (int repeats = 0;; ++repeats) {
    if (repeats > kMaxOptionRepeats) {
      LogMessage(link, link.GetText(kMsgResendLimit), kMaxOptionRepeats);
      return kStepRefused;
    }
    bool again = false;
    if (const StepResult r = WriteOnce(link, again); r != kStepOk) return r;
    if (!again) break;
  }
  if (link.target.protocol_variant == 0) {
    link.Pause(kPauseMs);
    CommandBuilder end(link);
    end.Add(kOptionsEnd);
    if (const StepResult r = SendAndWait(link, end, kTimeoutMs); r != kStepOk) return r;
    if (link.ReplyCode() != kOptionsEnded) return kStepRefused;
  }
  LogMessage(link, link.GetText(kMsgOkElapsed), SecondsSince(start));
  return kStepOk;
}

}  // namespace fw
