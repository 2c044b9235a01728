#include "isp/serial_download.h"

#include <algorithm>

#include "isp/download_sequence.h"
#include "isp/end_download.h"
#include "isp/handshake.h"
#include "isp/link/isp_link.h"
#include "target/chips/image_cut.h"
#include "target/chips/link_chip.h"

namespace fw {
int DownloadOnOpenPort(IspLink& link, std::string_view window_title,
                       const BeforeHandshake& before_handshake, const ShowMessageFn& show_message) {
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
  if (link.request.run_mode == RunMode::kBoard) {
    return EndDownload(link, RunBoardOperation(link, show_message), window_title);
  }
  StepResult result = before_handshake ? before_handshake(link) : kStepOk;
  if (result == kStepOk) result = Handshake(link);
  if (result == kStepOk) result = IdentifyTarget(link);
  if (result == kStepOk) result = RunDownloadSequence(link);
  return EndDownload(link, result, window_title);
}

void LogPortFailure(IspLink& link, const std::string& reason) {
  if (!link.request.silent && link.outputs.sound_sink != nullptr) {
    link.outputs.sound_sink->Beep(BeepKind::kError);
  }
  LogMessage(link, link.GetText(kMsgDeviceOpenFailed));
  LogMessage(link, "\r\n%s\r\n", reason.c_str());
}

}  // namespace fw
