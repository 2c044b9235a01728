#include "isp/serial_download.h"

#include <algorithm>
#include <array>

#include "isp/download_sequence.h"
#include "isp/end_download.h"
#include "isp/handshake.h"
#include "isp/link/isp_link.h"
#include "target/link_chip.h"

namespace fw {
namespace {

constexpr std::array<int, 21> kTopReserveFamilies = {1,  2,  3,  4,  5,  7,  8,  9,  10, 11, 12,
                                                     13, 14, 17, 18, 19, 20, 21, 22, 23, 24};

}  // namespace

bool HasTopReserve(const ChipRecord& record) {
  const bool family = std::find(kTopReserveFamilies.begin(), kTopReserveFamilies.end(),
                                FamilyCode(record)) != kTopReserveFamilies.end();
  const bool needs_capable = (record.flags & chip_flags::kOptionsNeedCapableFirmware) != 0;
  const bool option_block = (record.flags & chip_flags::kOptionBlockBit) != 0;
  return family && !needs_capable && (option_block || record.data_size != 0);
}

int DownloadOnOpenPort(IspLink& link, std::string_view window_title) {
  link.serial.link_kind = LinkKind::kSerialPort;
  link.running = true;
  LogMessage(link, nullptr);
  const ChipRecord& expected = ChipOf(link);
  link.image.top_reserve = HasTopReserve(expected);
  if ((expected.flags & chip_flags::kOptionBlockBit) != 0) {
    const int usable = static_cast<int>(
        expected.code_size - std::min<std::uint32_t>(expected.tail_reserve, expected.code_size));
    link.image.image_length = std::min(link.image.image_length, usable);
  }
  StepResult result = Handshake(link);
  if (result == kStepOk) result = IdentifyTarget(link);
  if (result == kStepOk) result = RunDownloadSequence(link);
  return EndDownload(link, result, window_title);
}

}  // namespace fw
