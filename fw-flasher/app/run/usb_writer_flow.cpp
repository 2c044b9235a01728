#include "app/run/usb_writer_flow.h"

#include "app/run/open_failure.h"
#include "app/run/usb_writer_steps.h"
#include "isp/link/isp_link.h"
#include "target/usb_writer/usb_open_failure.h"
#include "target/usb_writer/usb_writer_link.h"

namespace fw {

int UsbWriterDownload(IspLink& link, UsbWriterBus& bus, int writer_number, AppDialogs& dialogs,
                      std::string_view window_title) {
  link.serial.link_kind = LinkKind::kUsbWriter;
  link.running = true;
  const UsbOpenResult opened =
      OpenUsbWriter(link, bus, writer_number, kUsbWriterVendorId, kUsbWriterProductId);
  if (opened.error != UsbOpenError::kNone || link.usb_writer == nullptr) {
    return ReportOpenFailure(link, UsbOpenFailureText(opened, writer_number, link.request.language),
                             dialogs);
  }
  const int result = DownloadThroughWriter(link, writer_number, window_title);
  link.usb_writer.reset();
  link.running = false;
  return result;
}

}  // namespace fw
