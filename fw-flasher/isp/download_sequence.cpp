#include "isp/download_sequence.h"

#include "isp/erase_flash.h"
#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "isp/prepare_link.h"
#include "isp/program_code.h"
#include "isp/program_options.h"
#include "isp/report_after_programming.h"
#include "isp/switch_baud.h"
#include "isp/trim_clock.h"
#include "isp/trim_decision.h"
#include "isp/write_user_key.h"
#include "target/chips/code_image.h"
#include "target/chips/link_chip.h"
#include "target/chips/status_record.h"

namespace fw {

DownloadSequence ChooseDownloadSequence(int family_code, int fw_version) {
  return TraitsOf(family_code).SequenceFor(fw_version);
}

DownloadSequence SelectDownloadSequence(IspLink& link) {
  const DownloadSequence sequence = TraitsOf(link).SequenceFor(link.target.fw_version);
  if (sequence == DownloadSequence::kRefused) {
    LogMessage(link, link.GetText(kMsgChipVersionNotSupported));
  }
  return sequence;
}

StepResult RunClassicSequence(IspLink& link) {
  using namespace boot_loader;
  if (const StepResult r = PrepareLink(link); r != kStepOk) return r;
  if (const StepResult r = TrimClock(link); r != kStepOk) return r;
  if (const StepResult r = SwitchBaud(link); r != kStepOk) return r;
  if (const StepResult r = EraseFlash(link); r != kStepOk) return r;
  PrepareImage(link, false, false);
  const std::uint8_t command = link.target.fw_version < kFirmware72 ? kProgramClassic : kProgram;
  if (const StepResult r = ProgramCode(link, command, false); r != kStepOk) return r;
  // Without option-capable firmware such a chip keeps its options; the report
  // would read the last program block as options, so it is left out too.
  const bool needs_capable = (ChipOf(link).flags & chip_flags::kOptionsNeedCapableFirmware) != 0;
  if (needs_capable && !link.target.option_capable_firmware) return kStepOk;
  if (const StepResult r = ProgramOptions(link); r != kStepOk) return r;
  ReportProgrammedOptions(link, WrittenOptions::kInTheReply);
  return kStepOk;
}

StepResult RunNewerSequence(IspLink& link) {
  using namespace boot_loader;
  const TrimDecision trim = DecideTrim(link);
  if (trim.result != kStepOk) return trim.result;
  if (const StepResult r = SwitchBaud(link); r != kStepOk) return r;
  if (const StepResult r = EraseFlash(link); r != kStepOk) return r;
  if (link.request.user_key_present) {
    if (const StepResult r = WriteUserKey(link); r != kStepOk) return r;
  }
  PrepareImage(link, true, false);
  const std::uint8_t command = link.request.program_variant ? kProgramVariant : kProgram;
  if (const StepResult r = ProgramCode(link, command, true); r != kStepOk) return r;
  // Protocol variant 4 takes no option write.
  if (link.target.protocol_variant == 4) {
    LogMessage(link, "\r\n");
    return kStepOk;
  }
  if (const StepResult r = ProgramOptions(link); r != kStepOk) return r;
  ReportProgrammedOptions(link, WrittenOptions::kAsSent);
  if (trim.clock_source_changes) {
    LogMessage(link, link.GetText(kMsgRepowerForClockSource));
    return kStepFailedLogged;
  }
  return kStepOk;
}

StepResult RunDownloadSequence(IspLink& link) {
  switch (SelectDownloadSequence(link)) {
    case DownloadSequence::kClassic:
      return RunClassicSequence(link);
    case DownloadSequence::kNewer:
      return RunNewerSequence(link);
    case DownloadSequence::kRefused:
      break;
  }
  return kStepRefused;
}

}  // namespace fw
