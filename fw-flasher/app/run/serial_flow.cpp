#include "app/run/serial_flow.h"

#include "app/run/app_dialogs.h"
#include "app/run/open_failure.h"
#include "app/run/serial_numbers.h"
#include "isp/firmware_commands.h"
#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "isp/serial_download.h"

namespace fw {
namespace {

// What the flow sends to the user's firmware before the handshake.
StepResult TalkToFirmware(IspLink& link) {
  ConvertAsciiSerialNumbers(link);
  if (const StepResult r = SendUserInterfaceCommand(link); r != kStepOk) return r;
  SendPreCommand(link);
  return kStepOk;
}

}  // namespace

void ConvertAsciiSerialNumbers(IspLink& link) {
  for (SerialNumberPlacement& serial : link.placements.serial_numbers) {
    if (!serial.enabled || serial.format != kSerialAsciiHex) continue;
    serial.value = AsciiDigitsForm(SerialValue::FromBytesLsbFirst(serial.value)).ToBytesLsbFirst();
  }
}

int ComDownload(IspLink& link, const std::string& port_name, AppDialogs& dialogs,
                std::string_view window_title) {
  link.serial.link_kind = LinkKind::kSerialPort;
  link.running = true;
  TermiosPort port;
  if (!port.Open(ResolvePortName(port_name))) return ReportOpenFailure(link, port.error(), dialogs);
  link.port = &port;
  const auto show_message = [&](std::string_view text) {
    dialogs.ShowMessage(BoxText(text), window_title, MessageIcon::kInformation);
  };
  const int result = DownloadOnOpenPort(link, window_title, TalkToFirmware, show_message);
  port.Close();
  link.port = nullptr;
  link.running = false;
  ++link.download_count;
  return result;
}

}  // namespace fw
