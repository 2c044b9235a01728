// The serial download flow: one download through a serial port, from opening
// the port to closing it, with the link re-initialised and filled by the
// download worker.
#pragma once

#include <string>
#include <string_view>

namespace fw {

class AppDialogs;
class IspLink;

// Opens the port (a device path, a name under /dev, or "COMn"); when it does not
// open: the error sound (unless silent), message 8107 and the reason in the log
// and in a message box (caption message 8125, exclamation icon), result -1.
// Otherwise: the log cleared, the top reserve and the image cut of the expected
// chip, the serial numbers of format 2 turned into ASCII digits, the
// user-interface command and the pre-command, the handshake, identification,
// the download sequence and the end of the download; then the port is closed,
// running cleared and the download counted. Returns the result of the first
// step that did not succeed (0 on success). window_title gives the version
// text of the failure line.
int ComDownload(IspLink& link, const std::string& port_name, AppDialogs& dialogs,
                std::string_view window_title);

// Each enabled serial number of format 2 in the link becomes the ASCII
// characters of its 16 lowest hexadecimal digits.
void ConvertAsciiSerialNumbers(IspLink& link);

}  // namespace fw
