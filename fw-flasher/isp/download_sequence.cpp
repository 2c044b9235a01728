#include "isp/download_sequence.h"

#include "isp/link/isp_link.h"
#include "target/chip_table.h"
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
  const auto table = ChipTable();
  const int index =
      link.target.chip_index >= 0 && static_cast<std::size_t>(link.target.chip_index) < table.size()
          ? link.target.chip_index
          : 0;
  const DownloadSequence sequence =
      ChooseDownloadSequence(FamilyCode(table[index]), link.target.fw_version);
  if (sequence == DownloadSequence::kRefused) {
    LogMessage(link, link.GetText(kMsgChipVersionNotSupported));
  }
  return sequence;
}

}  // namespace fw
