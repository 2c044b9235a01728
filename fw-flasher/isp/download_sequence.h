// Which download sequence runs for an identified chip.
#pragma once

namespace fw {

class IspLink;

enum class DownloadSequence { kClassic, kNewer, kRefused };

// By family code and firmware version byte.
DownloadSequence ChooseDownloadSequence(int family_code, int fw_version);

// For the identified chip of the link; a refused chip logs kMsgChipVersionNotSupported.
DownloadSequence SelectDownloadSequence(IspLink& link);

}  // namespace fw
