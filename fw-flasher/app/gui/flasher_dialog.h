// FlasherDialog: the flasher's one window. The start and stop buttons with the
// result panel beside them, the port list, up to two serial-number edits, the
// log, the progress bar and the pass counter with its reset button. It owns
// the download run; the run's worker reaches the controls only through the
// window's event queue. What its close, its reset, its baud dialog and its
// edits decide is WindowActions'.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QTimer>

#include "app/run/download_view.h"
#include "app/run/port_entry.h"
#include "app/run/run_status.h"
#include "isp/link/download_request.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;

namespace fw {

class AppDialogs;
class DeviceMonitor;
class DownloadRun;
class Profile;
class QtLogSink;
class QtProgressSink;
class QtSoundSink;
class ResultPanel;
class SerialValidator;
class WindowActions;
class SerialDeviceSource;
class UsbWriterBus;
struct Project;

// What the window works with; everything here outlives it.
struct FlasherDialogParts {
  const Project* project = nullptr;  // null: the project was not loaded
  int language = 0;
  Profile* profile = nullptr;  // required
  // The reset and close questions, and the download's questions and boxes
  // (asked from the worker). Required.
  AppDialogs* dialogs = nullptr;
  SerialDeviceSource* serial_devices = nullptr;
  UsbWriterBus* usb_writers = nullptr;      // null: no USB writers are listed
  DeviceMonitor* device_monitor = nullptr;  // null: the list is built once
  std::string command_line_port;            // --port: added and selected
  bool serial_wrap = false;                 // --serial-wrap
};

class FlasherDialog final : public QDialog, public DownloadView {
  Q_OBJECT
 public:
  // Builds the controls; InitDialog fills them.
  explicit FlasherDialog(const FlasherDialogParts& parts, QWidget* parent = nullptr);
  // Stops a download that still runs and waits for its worker.
  ~FlasherDialog() override;

  // Fills the controls, shows the serial numbers and the pass counter, builds
  // the port list and, when the project says so, starts a download at once.
  void InitDialog();

  // DownloadView: safe to call from the worker's thread.
  void SetBusy(bool busy) override;
  void ShowPassCounter(std::uint32_t count) override;
  std::string SerialText(SerialEdit edit) override;
  void ShowSerialText(SerialEdit edit, std::string_view text) override;
  std::optional<PortEntry> SelectedPort() override;
  void ShowRunStatus(const RunStatus& status) override;

  // The button handlers.
  void StartDownload(RunMode run_mode);
  void StopDownload();
  void EditBaudRates();
  void ResetPassCounter();
  void RefreshPortList();

  // The controls' busy state as shown.
  bool busy() const { return busy_; }
  // A stop was requested since the last start (tested by waiting workers).
  bool stop_requested() const;
  int lowest_baud_index() const;
  int highest_baud_index() const;
  const std::vector<PortEntry>& port_entries() const { return port_entries_; }
  DownloadRun& run() { return *run_; }

  // The controls, by role.
  QPushButton* start_once_button() const { return start_once_; }
  QPushButton* stop_button() const { return stop_; }
  QPushButton* start_repeat_button() const { return start_repeat_; }
  QPushButton* start_third_button() const { return start_third_; }
  QPushButton* baud_settings_button() const { return baud_settings_; }
  QLabel* port_label() const { return port_label_; }
  QComboBox* port_list() const { return port_list_; }
  QLabel* serial_label(SerialEdit edit) const { return serial_labels_[Row(edit)]; }
  QLineEdit* serial_edit(SerialEdit edit) const { return serial_edits_[Row(edit)]; }
  QPlainTextEdit* log() const { return log_; }
  QProgressBar* progress_bar() const { return progress_; }
  QLabel* counter_label() const { return counter_; }
  QPushButton* reset_button() const { return reset_; }
  ResultPanel* result_panel() const { return panel_; }
  // The log's height for the five lines it keeps at the smallest window.
  int minimum_log_height() const { return minimum_log_height_; }

 signals:
  // The stop button was pressed or a close stopped the download: boxes that
  // the worker waits for can go.
  void stopRequested();

 public slots:
  // The cancel handler: Esc and the window's close box come here.
  void reject() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  static int Row(SerialEdit edit) { return static_cast<int>(edit); }
  void SetTexts();
  void Layout();
  void SetBusyHere(bool busy);
  void ShowPassCounterHere(std::uint32_t count);
  void ShowRunStatusHere(const RunStatus& status);
  // The serial-number edits take only what the rule takes; a refused text is
  // said beside its edit.
  void SetUpSerialEdits();
  void ShowSerialRefusal(int row);
  // The link of the port list's selected entry (the serial port when none).
  LinkKind SelectedLinkKind() const;
  // Lets the window's events run until the worker has ended.
  void WaitForWorker();
  // For the worker's waits on the window's thread: they give up on a stop.
  std::function<bool()> GiveUpOnStop() const;
  void WatchDevices();
  int SerialRowCount() const;

  FlasherDialogParts parts_;
  int label_colour_ = 0;
  bool third_button_visible_ = false;
  bool busy_ = false;
  bool layout_ready_ = false;
  bool closing_ = false;
  // Set while the window itself puts a number into an edit: no refusal to say.
  bool showing_serial_ = false;
  int minimum_log_height_ = 0;
  std::vector<PortEntry> port_entries_;
  QSocketNotifier* device_notifier_ = nullptr;
  QTimer port_refresh_;

  QPushButton* start_once_;     // 1046
  QPushButton* stop_;           // 1044
  QPushButton* start_repeat_;   // 1047
  QPushButton* start_third_;    // 1048
  QPushButton* baud_settings_;  // 1001
  QLabel* port_label_;          // 1173
  QComboBox* port_list_;        // 1009
  QLabel* serial_labels_[2];    // 1176, 1177
  QLineEdit* serial_edits_[2];  // 1000, 1003
  QPlainTextEdit* log_;         // 1136
  QProgressBar* progress_;      // 1005
  QLabel* counter_;             // 1007
  QPushButton* reset_;          // 1006
  ResultPanel* panel_;          // beside the top row
  SerialValidator* serial_validators_[2] = {nullptr, nullptr};

  // The link's outputs into the log, the progress bar and the beep; declared
  // before the run, whose worker uses them, so that they outlive it.
  std::unique_ptr<QtLogSink> log_sink_;
  std::unique_ptr<QtProgressSink> progress_sink_;
  std::unique_ptr<QtSoundSink> sound_sink_;
  std::unique_ptr<DownloadRun> run_;
  std::unique_ptr<WindowActions> actions_;
};

}  // namespace fw
