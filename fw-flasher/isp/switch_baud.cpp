#include "isp/switch_baud.h"

#include "isp/baud_generator.h"
#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "isp/step_support.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

using namespace boot_loader;

constexpr int kPauseMs = 10;
constexpr int kTimeoutMs = 5000;
// Protocol variant 0 checks the new rate this many times.
constexpr int kRateChecks = 5;

bool Refuses(const BaudSwitchPlan& plan, IspLink& link) {
  switch (plan.failure) {
    case BaudSwitchPlan::Failure::kNone:
      return false;
    case BaudSwitchPlan::Failure::kNoRateFits:
      LogMessage(link, link.GetText(kMsgNoBaudRateFits), link.request.highest_baud,
                 link.clock.measured_frequency * 1e-6, link.request.handshake_baud);
      break;
    case BaudSwitchPlan::Failure::kUnknownGenerator:
      LogMessage(link, link.GetText(kMsgUnknownGeneratorVariant),
                 link.target.baud_generator_variant);
      break;
  }
  link.serial.switched_baud = link.request.handshake_baud;
  return true;
}

std::uint8_t ExpectedReply(int pv, std::uint8_t command) {
  if (pv == 0) return kConfirmBaud;
  if (pv == 1 || pv == 2) return kBaudSwitchedVariants1And2;
  return command & kReplyCodeMask;
}

// Families 1-24 before the 7.2 firmware: the chip tries the rate with 8F and
// answers at it; the port goes back to the handshake rate for the 8E that
// follows.
StepResult TryRate(IspLink& link, const BaudSwitchPlan& plan) {
  CommandBuilder attempt(link);
  attempt.Add(kTryBaud).Add(std::span<const std::uint8_t>(plan.bytes));
  link.SendPacket(attempt.data(), attempt.size());
  if (const StepResult r = link.SetBaud(plan.rate, kTryBaud); r != kStepOk) return r;
  if (const StepResult r = link.WaitForReply(kTimeoutMs); r != kStepOk) return r;
  if (link.ReplyCode() != kTryBaud) return kStepRefused;
  return link.SetBaud(link.request.handshake_baud, IspLink::kNoAcknowledgement);
}

StepResult CheckChipAtNewRate(IspLink& link) {
  link.Pause(kPauseMs);
  for (int i = 0; i < kRateChecks; ++i) {
    CommandBuilder check(link);
    check.Add(kCheckChip);
    AddChipId(check, link);
    if (const StepResult r = SendAndWait(link, check, kTimeoutMs); r != kStepOk) return r;
    if (link.ReplyCode() != kChipChecked) return kStepRefused;
  }
  return kStepOk;
}

}  // namespace

StepResult SwitchBaud(IspLink& link) {
  link.Pause(kPauseMs);
  const std::uint32_t start = TickCount();
  LogMessage(link, link.GetText(kMsgRehandshaking));
  const BaudSwitchPlan plan = PlanBaudSwitch(link);
  if (Refuses(plan, link)) return kStepRefused;
  link.serial.switched_baud = plan.rate;
  const int pv = link.target.protocol_variant;

  CommandBuilder command(link);
  if (plan.command == kTryBaud) {
    if (link.target.fw_version >= kFirmware72) {
      // Bytes 1, 2 and the clock range code.
      command.Add({kSwitchBaud, plan.bytes[0], plan.bytes[1], plan.bytes[5]});
    } else {
      if (const StepResult r = TryRate(link, plan); r != kStepOk) return r;
      command.Add(kConfirmBaud).Add(std::span<const std::uint8_t>(plan.bytes).first(5));
    }
  } else {
    command.Add(plan.command).Add(std::span<const std::uint8_t>(plan.bytes));
  }
  link.SendPacket(command.data(), command.size());
  // The older variants answer at the new rate, the newer ones at the old rate.
  if (pv < 3) {
    if (const StepResult r = link.SetBaud(plan.rate, kConfirmBaud); r != kStepOk) return r;
  }
  if (const StepResult r = link.WaitForReply(kTimeoutMs); r != kStepOk) return r;
  if (link.ReplyCode() != ExpectedReply(pv, command.data()[0])) return kStepRefused;
  if (pv >= 3) {
    if (const StepResult r = link.SetBaud(plan.rate, IspLink::kNoAcknowledgement); r != kStepOk) {
      return r;
    }
  }
  if (pv == 0) {
    if (const StepResult r = CheckChipAtNewRate(link); r != kStepOk) return r;
  }
  LogMessage(link, link.GetText(kMsgSuccessfulElapsed), SecondsSince(start));
  LogMessage(link, link.GetText(kMsgCurrentBaudrate), plan.rate);
  return kStepOk;
}

}  // namespace fw
