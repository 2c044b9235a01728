// What follows the download sequence, whatever its result: the end packet, the
// sounds, the closing packets and the result lines with the time stamp.
#pragma once

#include <string>
#include <string_view>

#include "isp/link/link_outputs.h"
#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Sends the one-byte end packet, beeps through the link's sound sink (unless
// silent), runs Finish and logs the result lines by `result`. The window title
// gives the version text of the failure line (empty unless it begins with
// "QMV-ISP (V"). Returns result. The caller closes the port, clears the running
// flag and counts the download.
int EndDownload(IspLink& link, int result, std::string_view window_title = {});

// The sound and the result line that end a download, by result: 0 the
// information sound and message 8104 (after a blank line when asked), 3 the
// plain sound and message 8106, 1 and 2 the error sound three times and
// message 8105 with the version text of the window title; any other result
// the information sound alone. Sounds go through the link's sound sink,
// unless silent.
void ReportResult(IspLink& link, int result, std::string_view window_title,
                  bool blank_line_before_complete);

// times sounds of kind through the link's sound sink, unless silent.
void BeepResult(IspLink& link, BeepKind kind, int times = 1);

// The version text of the failure line: what stands between "QMV-ISP (V" and
// the first ")" of the title, or nothing.
std::string VersionTextOfTitle(std::string_view window_title);

// The local time as the result lines show it: "%Y-%m-%d %H:%M:%S".
std::string ResultTimeStamp();

}  // namespace fw
