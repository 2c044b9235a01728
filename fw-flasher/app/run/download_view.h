// What a download run shows and reads besides the log and the progress (which
// reach the window through the link's output sinks): the busy state of the
// controls, the pass counter, the serial-number edits, the selected port and
// where the run stands. The worker calls these on its own thread; a window
// hands them to its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/run/port_entry.h"
#include "app/run/run_status.h"

namespace fw {

// The two serial-number edits: the first (edit 1000) and the second (edit 1003).
enum class SerialEdit { kFirst = 0, kSecond = 1 };

class DownloadView {
 public:
  virtual ~DownloadView() = default;
  // Busy: the port list, the settings button, the serial-number edits and the
  // start buttons disabled, the stop button enabled; idle the other way round.
  virtual void SetBusy(bool busy) = 0;
  virtual void ShowPassCounter(std::uint32_t count) = 0;
  // The text of a serial-number edit as the operator left it.
  virtual std::string SerialText(SerialEdit edit) = 0;
  virtual void ShowSerialText(SerialEdit edit, std::string_view text) = 0;
  // The port list's selected entry; none when the list is empty.
  virtual std::optional<PortEntry> SelectedPort() = 0;
  // Where the run stands: told as each download starts, waits, runs its steps
  // and ends (the end is kept until the next download starts). A view without
  // a place for it ignores it.
  virtual void ShowRunStatus(const RunStatus& /*status*/) {}
};

}  // namespace fw
