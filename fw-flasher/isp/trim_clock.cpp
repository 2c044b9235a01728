#include "isp/trim_clock.h"

#include <algorithm>
#include <span>

#include "isp/link/isp_link.h"
#include "isp/trim/trim_procedure.h"
#include "target/chips/link_chip.h"

namespace fw {
namespace {

constexpr int kPauseBeforeMs = 10;
constexpr double kMegahertz = 1000000.0;
constexpr double kMillisecondsPerSecond = 1000.0;

trim::TrimInputs InputsOf(const IspLink& link) {
  trim::TrimInputs in;
  in.family_code = FamilyCode(ChipOf(link));
  in.fw_version = link.target.fw_version;
  in.handshake_baud = link.request.handshake_baud;
  in.set_frequency = link.request.set_frequency;
  in.measured_frequency = link.clock.measured_frequency;
  std::copy(std::begin(link.target.status_record), std::end(link.target.status_record),
            in.status_record.begin());
  return in;
}

// One measurement: the command from the send buffer, then sync bytes while no
// reply frame has started, until a verified frame with the expected code.
StepResult Measure(IspLink& link, const trim::Measurement& m) {
  const int n = static_cast<int>(std::min(m.command.size(), sizeof link.framing.send_buffer));
  std::copy_n(m.command.begin(), n, link.framing.send_buffer);
  link.SendPacket(link.framing.send_buffer, n);
  link.StartTimeout(m.timeout_ms);
  link.ResetReceiver();
  for (;;) {
    if (const StepResult r = link.CheckWait(); r != kStepOk) return r;
    if (link.MaySendSync()) {
      link.WriteRaw(&m.sync_byte, 1);
      link.SyncPause(m.sync_pause_ms);
    }
    if (link.ReceivePacket(link.framing.receive_buffer, true)) break;
  }
  return link.ReplyCode() == m.reply_code ? kStepOk : kStepRefused;
}

// The payload of the frame in the receive buffer, without checksum and end byte.
std::span<const std::uint8_t> ReplyPayload(const IspLink& link) {
  const int trailer = link.UsesWideChecksum() ? 3 : 2;
  const int n = std::clamp(link.framing.received_length - trailer, 0,
                           static_cast<int>(sizeof link.framing.receive_buffer));
  return {link.framing.receive_buffer, static_cast<std::size_t>(n)};
}

void Apply(IspLink& link, const trim::TrimChoice& choice) {
  for (std::size_t i = 0; i < choice.trim_bytes.size(); ++i) {
    if (choice.trim_bytes[i]) link.clock.trim_bytes[i] = *choice.trim_bytes[i];
  }
  link.clock.adjusted_frequency = choice.adjusted_frequency;
  if (choice.measured_frequency) link.clock.measured_frequency = *choice.measured_frequency;
}

}  // namespace

StepResult TrimClock(IspLink& link) {
  const trim::TrimInputs inputs = InputsOf(link);
  auto procedure = trim::MakeTrimProcedure(inputs);
  if (procedure == nullptr) return kStepOk;
  if (inputs.set_frequency <= 0) {
    LogMessage(link, link.GetText(kMsgSetFrequencyInvalid), inputs.set_frequency);
    return kStepRefused;
  }

  link.Pause(kPauseBeforeMs);
  const std::uint32_t start = TickCount();
  LogMessage(link, link.GetText(kMsgAdjustingFrequency));
  trim::TrimStep step = procedure->Start();
  while (step.status == trim::TrimStatus::kMeasure) {
    if (const StepResult r = Measure(link, step.measurement); r != kStepOk) return r;
    step = procedure->Continue(ReplyPayload(link));
  }
  switch (step.status) {
    case trim::TrimStatus::kChosen:
      break;
    case trim::TrimStatus::kShortReply:
      LogMessage(link, link.GetText(kMsgMeasurementReplyShort));
      return kStepRefused;
    case trim::TrimStatus::kTooNarrow:
      LogMessage(link, link.GetText(kMsgSkipped));
      return kStepFailedLogged;
    case trim::TrimStatus::kUnusable:
    case trim::TrimStatus::kMeasure:
      LogMessage(link, link.GetText(kMsgSkipped));
      LogMessage(link, link.GetText(kMsgOscillatorNotTrimmed));
      return kStepFailedLogged;
  }

  Apply(link, step.choice);
  const double target = inputs.set_frequency;
  const double reached = link.clock.adjusted_frequency;
  const double error_percent = (reached - target) / target * 100;
  // The elapsed time closes the line that message 8013 began; it has no text of its own.
  LogMessage(link, "\t\t\t[%.3f\"]\r\n", (TickCount() - start) / kMillisecondsPerSecond);
  LogMessage(link, link.GetText(kMsgAdjustedFrequencyAndError), reached / kMegahertz,
             error_percent);
  link.clock.frequency_adjusted = true;
  link.clock.trim_error = static_cast<float>(error_percent);
  return kStepOk;
}

}  // namespace fw
