#include "isp/prepare_link.h"

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "isp/step_support.h"

namespace fw {

StepResult PrepareLink(IspLink& link) {
  constexpr int kPauseMs = 10;
  constexpr int kTimeoutMs = 5000;
  const int pv = link.target.protocol_variant;
  if (pv != 1 && pv != 2) return kStepOk;
  link.Pause(kPauseMs);
  CommandBuilder command(link);
  command.Add(boot_loader::kPrepare);
  AddChipId(command, link);
  if (const StepResult r = SendAndWait(link, command, kTimeoutMs); r != kStepOk) return r;
  return link.ReplyCode() == boot_loader::kPrepared ? kStepOk : kStepRefused;
}

}  // namespace fw
