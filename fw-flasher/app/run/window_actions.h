// What the flasher window's close, its counter reset, its baud dialog and its
// serial-number edits decide, without the window: the widgets only forward to
// this, and the questions go through the app's dialogs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/run/download_view.h"
#include "app/run/serial_edit_rule.h"
#include "isp/link/serial_settings.h"

namespace fw {

class AppDialogs;
class DownloadRun;
struct Project;

class WindowActions {
 public:
  // project is null when none was loaded.
  WindowActions(DownloadRun& run, AppDialogs& dialogs, const Project* project, int language);

  enum class Close {
    kNow,        // nothing runs, or the run ended while its question was open
    kStay,       // the operator chose to let the download go on
    kAfterStop,  // stop the download, then close once it has ended
  };
  // The window's close: while a run works, message 4007 as a question whose
  // default is No and which goes away by itself once the run has ended.
  Close RequestClose();

  // The reset button: with a counter above 0, message 4006 as a question whose
  // default is No; on Yes the run resets the counter.
  void ResetPassCounter();

  // What the baud dialog says under its lists for the chosen rates: a warning
  // when the lowest is above the highest (both are stored all the same); empty
  // otherwise.
  std::string BaudWarning(int lowest_rate, int highest_rate) const;

  // Whether the edit takes the text, through the link the port list selects;
  // every text where no serial number uses the edit.
  SerialTextCheck CheckSerialText(SerialEdit edit, std::string_view text, LinkKind link) const;

 private:
  // The caption of the window's questions: the application name.
  std::string Caption() const;

  DownloadRun& run_;
  AppDialogs& dialogs_;
  const Project* project_;
  int language_;
};

}  // namespace fw
