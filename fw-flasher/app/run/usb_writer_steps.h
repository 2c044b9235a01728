// One download through an opened USB writer, from the status reply to the end
// command and the result lines.
#pragma once

#include <string_view>

namespace fw {

class IspLink;

// With the writer open in link.usb_writer and the link holding the project's
// parameters and image: clears the log, reads the status reply, identifies the
// chip, chooses the trim values from its factory values, refuses what the
// writer's 16-bit addresses cannot reach, then prepares, unlocks, erases,
// writes the user key, programs the code and the extra data records, the
// options and the new password, reports the options, sends the end command
// and logs the result (sounds through the link's sound sink). Returns the
// step result: 0, 1 for a failed transfer or a refusal, 3 when stopped, or
// identification's result. writer_number names the writer in the log;
// window_title gives the version text of the failure line. The caller closes
// the writer and clears running.
int DownloadThroughWriter(IspLink& link, int writer_number, std::string_view window_title);

}  // namespace fw
