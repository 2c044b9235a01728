// One download over a serial port that the caller has opened, with the link
// holding the project's parameters and image.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "isp/board_operation.h"
#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// What a flow sends before the handshake (to the firmware still running in the
// target); a nonzero result ends the download with it.
using BeforeHandshake = std::function<StepResult(IspLink&)>;

// Clears the log, sets the top reserve flag and cuts the image length by the
// expected chip's record (link.target.chip_index), runs before_handshake (when
// given), then the handshake, the identification, the download sequence and
// the end of the download. In run mode 4 the download board's own operation
// replaces everything from before_handshake to the download sequence; its
// message box goes to show_message. Returns the result of the first step that
// did not succeed (0 on success, 5 after the board operation). The caller
// closes the port, clears the running flag and counts the download.
int DownloadOnOpenPort(IspLink& link, std::string_view window_title = {},
                       const BeforeHandshake& before_handshake = {},
                       const ShowMessageFn& show_message = {});

// A serial port that did not open: the error sound (unless silent), message
// 8107 and the reason in the log.
void LogPortFailure(IspLink& link, const std::string& reason);

}  // namespace fw
