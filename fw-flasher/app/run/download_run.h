// The download run behind the start and stop buttons: the run mode, the
// worker thread that downloads once or again and again, the serial numbers and
// the pass counter. A window or fw-flash drives it; the link's output sinks
// carry the log, the progress and the sounds, the view shows the rest, the
// dialogs ask the questions. Each download holds the profile's lock from
// before the erase until its advanced counters are written, so that two
// programs of one project never give two chips the same serial number.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/run/app_dialogs.h"
#include "app/run/download_request_builder.h"
#include "app/run/port_entry.h"
#include "app/run/run_status.h"
#include "app/run/serial_numbers.h"
#include "isp/link/isp_link.h"

namespace fw {

class DownloadView;
class Profile;
class ProfileLock;
class UsbWriterBus;

// One download through the link to the port entry; returns the flow's result.
using DownloadFlow = std::function<int(IspLink& link, const PortEntry& port)>;

class DownloadRun {
 public:
  // project is null when no project was loaded: the start buttons do nothing.
  // The serial flow is ComDownload unless a test gives another; there is no
  // USB writer flow until the USB writers' bus is given (SetUsbWriterBus) or a
  // test gives one (a USB writer entry ends like a device that does not open).
  DownloadRun(const Project* project, Profile& profile, DownloadView& view, AppDialogs& dialogs,
              int language);
  // Requests a stop and waits for the worker.
  ~DownloadRun();
  DownloadRun(const DownloadRun&) = delete;
  DownloadRun& operator=(const DownloadRun&) = delete;

  void SetSerialFlow(DownloadFlow flow) { serial_flow_ = std::move(flow); }
  void SetUsbWriterFlow(DownloadFlow flow) { usb_writer_flow_ = std::move(flow); }
  // The bus the USB writers are found on: the USB writer flow (UsbWriterDownload
  // through the entry's writer) and the repeat wait's look for the writer use
  // it. It must outlive the run.
  void SetUsbWriterBus(UsbWriterBus& bus);

  // The one link: its output sinks (log, progress, sounds, echo) are set once
  // by the caller; its question is the run's own, through the dialogs.
  IspLink& link() { return link_; }

  // The dialog's start: the serial numbers (stored ones replace the project's)
  // and the pass counter from the profile, shown.
  void Initialise();

  // A serial number that no longer fits its length in its format stops the run
  // before the download that would write it, unless wrap is chosen: then its
  // low bytes are written, as they always were.
  void SetSerialWrap(bool wrap) { serial_wrap_ = wrap; }
  bool serial_wrap() const { return serial_wrap_; }

  // Why the run ended for a reason of its own rather than by a download's
  // result; kNone when a result (or a stop) ended it.
  enum class RunStop {
    kNone,
    kProfileNotWritten,  // the profile could not be locked or written
    kSerialNumberFull,   // a serial number no longer fits its length
  };
  RunStop run_stop() const { return run_stop_.load(); }

  // Start button of the run mode: the request is built once from the project
  // and the run's choices, and every download of the run gets a copy with its
  // own serial numbers. Nothing happens (false) when no project was loaded, a
  // run is busy, or the mode is none of the three.
  bool StartDownload(RunMode run_mode);
  // Stop button: the stop request holds until the next start; it does not wait.
  void StopDownload();
  bool busy() const { return busy_.load(); }
  bool stop_requested() const { return link_.stop_requested.load(); }
  // Until the worker has ended (at once when none runs).
  void WaitUntilIdle();

  std::uint32_t pass_counter() const { return pass_counter_.load(); }
  // The reset button's work after its question: 0, shown and stored. While a
  // run works the run stores it under the profile's lock; otherwise it is
  // stored at once (the lock waited for a short while) and a failure shown.
  void ResetPassCounter();
  // Downloads that succeeded in the current or last run, and its last result.
  int passes_this_run() const { return passes_this_run_.load(); }
  int last_result() const { return last_result_.load(); }

  // The baud dialog's indexes; an index outside the table keeps its default.
  void SetBaudIndexes(int lowest, int highest);
  int lowest_baud_index() const { return lowest_baud_index_; }
  int highest_baud_index() const { return highest_baud_index_; }
  // The information lines (chip, version, options) left out whatever the
  // project says.
  void SetQuietInformation(bool quiet) { quiet_information_ = quiet; }
  // Seconds minus one between repeated downloads (project string 5).
  int repeat_delay() const { return repeat_delay_; }

 private:
  void Work(const DownloadRequest& request, PortEntry port);
  // The wait between repeated downloads; false when a stop ended it.
  bool RepeatWait();
  // Run mode 3 through a USB writer: at once while writer_number is attached,
  // else until it is; false on a stop.
  bool WaitForUsbWriter(int writer_number);
  bool UsbWriterPresent(int writer_number);
  int Download(const PortEntry& port);
  // One download with the profile held; false when the run ends after it.
  bool Pass(const DownloadRequest& request, const PortEntry& port);
  bool TakeProfile(ProfileLock& lock);
  bool SerialNumbersFit(LinkKind link);
  bool ProfileWritable();
  bool CountPass(std::uint32_t stored_pass_counter);
  // The reset that the operator pressed while the run worked, stored under the
  // lock the run holds; a failure is shown after the pass.
  void StorePendingReset();
  // The run ends for a reason of its own: the text logged now, its box after
  // the pass.
  void StopRun(RunStop why, const std::string& text);
  // The view and the log's watch learn where the run stands.
  void ShowStatus(const RunStatus& status);
  // The serial numbers the pass is about to write, as the panel names them.
  std::vector<std::string> SerialNumbersShown() const;
  // The wait between downloads was stopped: the log says so.
  void LogWaitStopped();
  // The reset outside a run, under the lock (waited for a short while); false
  // with the message to show.
  bool StoreReset(std::string& failure);

  const Project* project_;
  Profile& profile_;
  DownloadView& view_;
  AppDialogs& dialogs_;
  IspLink link_;
  std::optional<SerialNumbers> serials_;
  int language_;
  int lowest_baud_index_ = kDefaultLowestBaudIndex;
  int highest_baud_index_ = kDefaultHighestBaudIndex;
  bool quiet_information_ = false;
  int repeat_delay_ = 0;
  bool serial_wrap_ = false;
  std::string window_title_;
  std::string box_after_pass_;  // a failure's message, for its box
  DownloadFlow serial_flow_;
  DownloadFlow usb_writer_flow_;
  UsbWriterBus* usb_writer_bus_ = nullptr;

  class LinkQuestion final : public YesNoQuestion {
   public:
    explicit LinkQuestion(DownloadRun& run) : run_(run) {}
    bool Ask(std::string_view text) override;

   private:
    DownloadRun& run_;
  };
  LinkQuestion question_{*this};
  // The caller's log, watched for where the download stands while a run works.
  StatusWatchLog status_log_;
  // How the current pass ended, for the view.
  PassOutcome outcome_;

  std::atomic<bool> busy_{false};
  std::atomic<std::uint32_t> pass_counter_{0};
  std::atomic<int> passes_this_run_{0};
  std::atomic<int> last_result_{0};
  std::atomic<RunStop> run_stop_{RunStop::kNone};
  // A reset pressed while the worker works waits for the worker to store it.
  std::mutex reset_mutex_;
  bool worker_active_ = false;
  bool reset_pending_ = false;
  std::mutex start_mutex_;
  std::jthread worker_;
};

}  // namespace fw
