#include "isp/download_sequence.h"

#include "isp/link/isp_link.h"
#include "target/link_chip.h"
#include "target/status_record.h"

namespace fw {

DownloadSequence ChooseDownloadSequence(int f, int v) {
  using enum DownloadSequence;
  if (f == 1 || f == 2) return v >= kFirmware66 ? kClassic : kRefused;
  if (f == 7 || f == 8) return v >= kFirmware50 ? kClassic : kRefused;
  if (f == 9) return v >= kFirmware58 ? kClassic : kRefused;
  if ((f >= 3 && f <= 6) || (f >= 10 && f <= 24)) return kClassic;
  if (f == 25 || f == 28) return v < kFirmware71 ? kClassic : kNewer;
  return kNewer;
}

DownloadSequence SelectDownloadSequence(IspLink& link) {
  const DownloadSequence sequence =
      ChooseDownloadSequence(FamilyCode(ChipOf(link)), link.target.fw_version);
  if (sequence == DownloadSequence::kRefused) {
    LogMessage(link, link.GetText(kMsgChipVersionNotSupported));
  }
  return sequence;
}

}  // namespace fw
