// One download over a serial port that the caller has opened, with the link
// holding the project's parameters and image.
#pragma once

#include <string_view>

namespace fw {

class IspLink;

// Clears the log, sets the top reserve flag and cuts the image length by the
// expected chip's record (link.target.chip_index), then runs the handshake,
// the identification, the download sequence and the end of the download.
// Returns the result of the first step that did not succeed (0 on success).
// The caller closes the port, clears the running flag and counts the download.
int DownloadOnOpenPort(IspLink& link, std::string_view window_title = {});

}  // namespace fw
