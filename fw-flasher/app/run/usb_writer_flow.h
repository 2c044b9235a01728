// The USB writer download flow: one download through the n-th USB writer, from
// opening the writer to closing it, with the link re-initialised and filled by
// the download worker.
#pragma once

#include <string_view>

namespace fw {

class AppDialogs;
class IspLink;
class UsbWriterBus;

// Opens writer writer_number (from 1) of the bus; when it does not open: the
// error sound (unless silent), message 8107 and the reason in the log and in a
// message box (caption message 8125, exclamation icon), result -1. Otherwise
// the download through the writer (DownloadThroughWriter); then the writer is
// closed and running cleared. window_title gives the version text of the
// failure line. Returns the step result: 0, 1 for a failed transfer, a reply
// without acceptance, a wrong password or what the writer cannot address, 3
// when stopped, identification's result, or -1.
int UsbWriterDownload(IspLink& link, UsbWriterBus& bus, int writer_number, AppDialogs& dialogs,
                      std::string_view window_title);

}  // namespace fw
