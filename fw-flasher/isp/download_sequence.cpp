#include "isp/download_sequence.h"

#include "isp/link/isp_link.h"
#include "target/chip_table.h"

namespace fw {

DownloadSequence ChooseDownloadSequence(int f, int v) {
  if (f == 1 || f == 2) return v >= 0x66 ? DownloadSequence::kClassic : DownloadSequence::kRefused;
  if (f == 7 || f == 8) return v >= 0x50 ? DownloadSequence::kClassic : DownloadSequence::kRefused;
  if (f == 9) return v >= 0x58 ? DownloadSequence::kClassic : DownloadSequence::kRefused;
  if ((f >= 3 && f <= 6) || (f >= 10 && f <= 24)) return DownloadSequence::kClassic;
  if (f == 25 || f == 28) return v < 0x71 ? DownloadSequence::kClassic : DownloadSequence::kNewer;
  return DownloadSequence::kNewer;
}

DownloadSequence SelectDownloadSequence(IspLink& link) {
  const auto table = ChipTable();
  const int index = link.chip_index >= 0 && static_cast<std::size_t>(link.chip_index) < table.size()
                        ? link.chip_index
                        : 0;
  const DownloadSequence sequence =
      ChooseDownloadSequence(FamilyCode(table[index]), link.fw_version);
  if (sequence == DownloadSequence::kRefused) LogMessage(link, link.GetText(8114));
  return sequence;
}

}  // namespace fw
