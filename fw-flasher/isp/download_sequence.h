// Which download sequence runs for an identified chip, and the two sequences:
// every step in order, the first nonzero result ends the download.
#pragma once

#include "isp/link/step_result.h"
#include "target/chips/family_traits.h"

namespace fw {

class IspLink;

// By family code and firmware version byte.
DownloadSequence ChooseDownloadSequence(int family_code, int fw_version);

// For the identified chip of the link; a refused chip logs kMsgChipVersionNotSupported.
DownloadSequence SelectDownloadSequence(IspLink& link);

// Prepare, trim, baud switch, erase, image, program (0x00 before the 7.2
// firmware, else 0x02), then the options and their report unless the chip
// needs option-capable firmware that it lacks.
StepResult RunClassicSequence(IspLink& link);

// Trim decision, baud switch, erase, user key, image with records, program (0x82
// with the program variant, else 0x02), options and their report (not on
// protocol variant 4). A change of clock source ends with message 8115 and
// kStepFailedLogged: it takes effect only after the chip is powered again.
StepResult RunNewerSequence(IspLink& link);

// The sequence the chip needs, after a successful identification; kStepRefused
// (message 8114) for a chip version that is not supported.
StepResult RunDownloadSequence(IspLink& link);

}  // namespace fw
