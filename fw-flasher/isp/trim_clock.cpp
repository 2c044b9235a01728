#include "isp/trim_clock.h"

#include "isp/link/isp_link.h"
#include "isp/step_support.h"

namespace fw {

StepResult TrimClock(IspLink& link) {
  constexpr int kFirstTrimmedFamily = 25;
  if (FamilyOf(link) < kFirstTrimmedFamily) return kStepOk;
  LogMessage(link, link.GetText(kMsgTrimNotAvailable));
  return kStepRefused;
}

}  // namespace fw
