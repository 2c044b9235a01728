#include "cli/detect_command.h"

#include <utility>

#include "cli/run_watch.h"
#include "isp/expected_chip.h"
#include "isp/handshake.h"
#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "target/chips/chip_table.h"

namespace fw {

int ExitStatusOf(int step_result) {
  if (step_result == kStepOk) return 0;
  if (step_result >= kStepRefused && step_result <= kStepFinishedEarly) return step_result;
  return kExitOtherFailure;
}

std::string ResultLine(int step_result, int language) {
  const char* words = GetText(StepResultWords(step_result), language);
  return "Step result: " + std::to_string(step_result) + " (" + words + ")";
}

int RunDetect(const DetectOptions& options, std::FILE* out, YesNoQuestion* question,
              const std::atomic<bool>& stop_requested, std::string& error) {
  int chip_index = 0;
  if (!options.chip.empty()) {
    chip_index = FindChipByName(options.chip);
    if (chip_index <= 0) {
      error = "unknown chip " + options.chip;
      return kStepFailedLogged;
    }
  }
  TermiosPort port;
  if (!port.Open(ResolvePortName(options.port))) {
    error = port.error();
    return kStepFailedLogged;
  }

  DownloadRequest request;
  request.language = options.language;
  request.quiet_information = options.quiet;
  request.handshake_baud = options.baud;
  request.sync_burst = options.sync_burst;
  if (chip_index > 0) {
    request.chip = ExpectedChipOf(ChipTable()[static_cast<std::size_t>(chip_index)]);
  } else {
    request.chip.accept_any_chip = true;
  }
  IspLink link;
  link.Reinitialise(std::move(request));
  link.port = &port;
  link.outputs.echo = out;
  link.outputs.question = question;
  link.serial.link_kind = LinkKind::kSerialPort;
  link.running = true;

  StepResult result = kStepOk;
  {
    const RunWatch watch(link, stop_requested, options.timeout_seconds);
    result = Handshake(link);
    if (result == kStepOk) {
      result = IdentifyTarget(link);
      // Quiet leaves out the information lines, but the chip found is the answer.
      const bool chip_found = result == kStepOk || result == kStepWrongChip;
      if (options.quiet && chip_found) {
        LogMessage(link, link.GetText(kMsgChipType), link.target.chip_name);
      }
    }
  }
  std::fprintf(out, "\n%s\n", ResultLine(result, options.language).c_str());
  std::fflush(out);
  return result;
}

}  // namespace fw
