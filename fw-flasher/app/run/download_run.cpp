#include "app/run/download_run.h"

#include <chrono>
#include <climits>
#include <utility>

#include "app/project/gbk_text.h"
#include "app/run/download_view.h"
#include "app/run/profile.h"
#include "app/run/profile_counters.h"
#include "app/run/profile_lock.h"
#include "app/run/run_failure.h"
#include "app/run/serial_capacity.h"
#include "app/run/serial_flow.h"
#include "app/run/usb_writer_flow.h"
#include "isp/end_download.h"
#include "messages/message_table.h"
#include "target/usb_writer/usb_writer_transport.h"

namespace fw {
namespace {

// The repeat wait counts in steps of 100 ms and logs a dot every fifth step.
constexpr int kWaitStepMs = 100;
constexpr std::int64_t kStepsPerSecond = 10;
constexpr std::int64_t kStepsPerDot = 5;
// How often the wait for a USB writer looks for it on the bus.
constexpr int kWriterPollMs = 100;
// How long a reset outside a run waits while another program holds the profile.
constexpr auto kResetLockWait = std::chrono::seconds(2);
// The serial numbers in the messages: decimal, as the edits show them.
constexpr char kDecimal = 'd';

std::string Utf8String(const Project& project, ProjectStringId id) {
  return GbkToUtf8(project.String(id));
}

}  // namespace

bool DownloadRun::LinkQuestion::Ask(std::string_view text) {
  if (run_.stop_requested()) return false;
  const std::string caption =
      run_.project_ != nullptr ? Utf8String(*run_.project_, ProjectStringId::kApplicationName) : "";
  return run_.dialogs_.AskYesNo(text, caption) && !run_.stop_requested();
}

DownloadRun::DownloadRun(const Project* project, Profile& profile, DownloadView& view,
                         AppDialogs& dialogs, int language)
    : project_(project),
      profile_(profile),
      view_(view),
      dialogs_(dialogs),
      language_(language),
      status_log_(language, [this](const RunStatus& status) { view_.ShowRunStatus(status); }) {
  link_.outputs.question = &question_;
  if (project_ != nullptr) {
    serials_.emplace(*project_);
    SetBaudIndexes(project_->string_settings.lowest_baud_index,
                   project_->string_settings.highest_baud_index);
    repeat_delay_ = project_->string_settings.repeat_delay;
    window_title_ = Utf8String(*project_, ProjectStringId::kTitle);
    serial_flow_ = [this](IspLink& link, const PortEntry& port) {
      return ComDownload(link, port.device_path, dialogs_, window_title_);
    };
  }
}

void DownloadRun::SetUsbWriterBus(UsbWriterBus& bus) {
  usb_writer_bus_ = &bus;
  usb_writer_flow_ = [this](IspLink& link, const PortEntry& port) {
    return UsbWriterDownload(link, *usb_writer_bus_, port.writer_number, dialogs_, window_title_);
  };
}

DownloadRun::~DownloadRun() {
  StopDownload();
  WaitUntilIdle();
}

void DownloadRun::Initialise() {
  if (serials_) serials_->Load(profile_, view_);
  pass_counter_ = static_cast<std::uint32_t>(profile_.ReadInt(profile_keys::kPassCounter, 0));
  view_.ShowPassCounter(pass_counter_);
}

void DownloadRun::SetBaudIndexes(int lowest, int highest) {
  const auto valid = [](int i) { return i >= 0 && i < static_cast<int>(kBaudTable.size()); };
  lowest_baud_index_ = valid(lowest) ? lowest : kDefaultLowestBaudIndex;
  highest_baud_index_ = valid(highest) ? highest : kDefaultHighestBaudIndex;
}

bool DownloadRun::StartDownload(RunMode run_mode) {
  if (project_ == nullptr || (run_mode != RunMode::kOnce && run_mode != RunMode::kRepeated &&
                              run_mode != RunMode::kBoard)) {
    return false;
  }
  std::lock_guard lock(start_mutex_);
  if (busy_) return false;
  const std::optional<PortEntry> port = view_.SelectedPort();
  if (!port) return false;
  if (worker_.joinable()) worker_.join();
  // Only a start clears the stop request.
  link_.stop_requested = false;
  {
    std::lock_guard reset_lock(reset_mutex_);
    worker_active_ = true;
  }
  RunChoices choices;
  choices.run_mode = run_mode;
  choices.language = language_;
  choices.handshake_baud = BaudOfIndex(lowest_baud_index_, kDefaultLowestBaudIndex);
  choices.highest_baud = BaudOfIndex(highest_baud_index_, kDefaultHighestBaudIndex);
  choices.quiet_information = quiet_information_;
  busy_ = true;
  view_.SetBusy(true);
  worker_ = std::jthread([this, request = BuildDownloadRequest(*project_, choices), entry = *port] {
    Work(request, entry);
  });
  return true;
}

void DownloadRun::StopDownload() {
  link_.stop_requested = true;
  link_.running = false;
}

void DownloadRun::WaitUntilIdle() {
  std::lock_guard lock(start_mutex_);
  if (worker_.joinable()) worker_.join();
}

void DownloadRun::ResetPassCounter() {
  pass_counter_ = 0;
  view_.ShowPassCounter(0);
  {
    std::lock_guard lock(reset_mutex_);
    if (worker_active_) {
      reset_pending_ = true;
      return;
    }
  }
  std::string failure;
  if (!StoreReset(failure)) {
    dialogs_.ShowMessage(failure, GetText(kMsgError, language_), MessageIcon::kExclamation);
  }
}

bool DownloadRun::StoreReset(std::string& failure) {
  const std::string location = profile_.Location();
  ProfileLock lock(profile_);
  const auto deadline = std::chrono::steady_clock::now() + kResetLockWait;
  std::string reason;
  switch (lock.Take([&] { return std::chrono::steady_clock::now() < deadline; }, reason)) {
    case ProfileLockResult::kTaken:
      break;
    case ProfileLockResult::kGaveUp:
      failure = FormatText(GetText(kMsgResetProfileBusy, language_), location.c_str());
      return false;
    case ProfileLockResult::kFailed:
      failure =
          FormatText(GetText(kMsgResetNotWritten, language_), location.c_str(), reason.c_str());
      return false;
  }
  if (profile_.Write(CounterChanges(0, {}), reason)) return true;
  failure = FormatText(GetText(kMsgResetNotWritten, language_), location.c_str(), reason.c_str());
  return false;
}

void DownloadRun::StorePendingReset() {
  {
    std::lock_guard lock(reset_mutex_);
    if (!std::exchange(reset_pending_, false)) return;
  }
  std::string reason;
  if (profile_.Write(CounterChanges(0, {}), reason)) return;
  box_after_pass_ =
      FormatText(link_.GetText(kMsgResetNotWritten), profile_.Location().c_str(), reason.c_str());
}

int DownloadRun::Download(const PortEntry& port) {
  const DownloadFlow& flow = port.kind == LinkKind::kUsbWriter ? usb_writer_flow_ : serial_flow_;
  if (flow) return flow(link_, port);
  // No flow reaches this kind of port: it ends like a device that does not open.
  LogMessage(link_, link_.GetText(kMsgDeviceOpenFailed));
  return kStepFailedLogged;
}

void DownloadRun::StopRun(RunStop why, const std::string& text) {
  run_stop_ = why;
  outcome_.run_stop_words =
      why == RunStop::kSerialNumberFull ? kMsgPanelSerialNumberFull : kMsgPanelProfileNotWritten;
  LogRunFailure(link_, text);
  box_after_pass_ = text;
}

bool DownloadRun::TakeProfile(ProfileLock& lock) {
  bool told = false;
  const auto keep_waiting = [&] {
    if (!told) {
      LogMessage(link_, link_.GetText(kMsgProfileWaiting), profile_.Location().c_str());
      told = true;
    }
    return !link_.stop_requested.load();
  };
  std::string reason;
  switch (lock.Take(keep_waiting, reason)) {
    case ProfileLockResult::kTaken:
      return true;
    case ProfileLockResult::kGaveUp:
      last_result_ = kStepStopped;
      ReportResult(link_, kStepStopped, window_title_, false);
      return false;
    case ProfileLockResult::kFailed:
      break;
  }
  StopRun(RunStop::kProfileNotWritten, FormatText(link_.GetText(kMsgProfileNotWritable),
                                                  profile_.Location().c_str(), reason.c_str()));
  return false;
}

bool DownloadRun::SerialNumbersFit(LinkKind link) {
  for (int n = 0; n < SerialNumbers::kCount; ++n) {
    const SerialNumberSettings& settings = project_->serial_numbers[static_cast<std::size_t>(n)];
    if (!settings.enabled) continue;
    const SerialValue& value = serials_->value(n);
    if (SerialFits(value, settings, link)) continue;
    const std::string shown = SerialToText(value, kDecimal, 1);
    const std::string largest = SerialToText(LargestSerialValue(settings, link), kDecimal, 1);
    StopRun(RunStop::kSerialNumberFull,
            FormatText(link_.GetText(kMsgSerialNumberFull), n + 1, shown.c_str(),
                       static_cast<int>(settings.length), largest.c_str()));
    return false;
  }
  return true;
}

bool DownloadRun::ProfileWritable() {
  std::string reason;
  if (profile_.CheckWritable(reason)) return true;
  StopRun(RunStop::kProfileNotWritten, FormatText(link_.GetText(kMsgProfileNotWritable),
                                                  profile_.Location().c_str(), reason.c_str()));
  return false;
}

bool DownloadRun::CountPass(std::uint32_t stored_pass_counter) {
  bool reset = false;
  {
    std::lock_guard lock(reset_mutex_);
    reset = std::exchange(reset_pending_, false);
  }
  const std::uint32_t before = reset ? 0 : stored_pass_counter;
  const std::uint32_t count = before + 1;
  const StoredSerials advanced = serials_->Advance(view_);
  // The chip holds the firmware and its numbers, whether or not they are stored.
  ++passes_this_run_;
  std::string reason;
  if (!profile_.Write(CounterChanges(count, advanced), reason)) {
    pass_counter_ = before;
    view_.ShowPassCounter(before);
    // What the profile should hold now, for the operator to put right.
    std::string next;
    for (const auto& value : advanced) {
      if (!value) continue;
      next += (next.empty() ? "" : ", ") + SerialToText(*value, kDecimal, 1);
    }
    StopRun(RunStop::kProfileNotWritten,
            FormatText(link_.GetText(kMsgProfileWriteFailed), profile_.Location().c_str(),
                       reason.c_str(), next.empty() ? "-" : next.c_str(), count));
    return false;
  }
  serials_->MarkStored(advanced);
  pass_counter_ = count;
  view_.ShowPassCounter(count);
  return true;
}

bool DownloadRun::Pass(const DownloadRequest& request, const PortEntry& port) {
  // Held from before the erase until the advanced counters are written.
  ProfileLock lock(profile_);
  if (!TakeProfile(lock)) return false;
  const StoredCounters stored = ReadStoredCounters(profile_);
  {
    std::lock_guard reset_lock(reset_mutex_);
    pass_counter_ = reset_pending_ ? 0 : stored.pass_counter;
  }
  view_.ShowPassCounter(pass_counter_);
  const auto prepared = serials_->Prepare(view_, stored.serials);
  if (!serial_wrap_ && !SerialNumbersFit(port.kind)) return false;
  if (!ProfileWritable()) return false;
  DownloadRequest with_serials = request;
  PlaceSerialNumbers(prepared, with_serials);
  link_.Reinitialise(std::move(with_serials));
  outcome_.serial_numbers = SerialNumbersShown();
  const int result = Download(port);
  last_result_ = result;
  outcome_.downloaded = true;
  outcome_.result = result;
  if (result != kStepOk) {  // the board operation's 5 counts no pass either
    StorePendingReset();
    return false;
  }
  return CountPass(stored.pass_counter);
}

void DownloadRun::Work(const DownloadRequest& request, PortEntry port) {
  passes_this_run_ = 0;
  run_stop_ = RunStop::kNone;
  link_.download_count = 0;
  // The log is watched for where each download stands.
  status_log_.SetTarget(link_.outputs.log_sink);
  link_.outputs.log_sink = &status_log_;
  for (;;) {
    // What the pass logs before its download is in the request's language.
    link_.Reinitialise(request);
    outcome_ = PassOutcome{};
    outcome_.board_operation = request.run_mode == RunMode::kBoard;
    ShowStatus(StartedStatus(language_));
    const bool go_on = Pass(request, port);
    ShowStatus(StatusOfOutcome(outcome_, language_));
    // A box waits for the operator: shown once the profile is released.
    if (!box_after_pass_.empty()) {
      ShowRunFailure(link_, dialogs_, std::exchange(box_after_pass_, {}));
    }
    if (!go_on) break;
    if (request.run_mode != RunMode::kRepeated) break;
    if (!RepeatWait()) break;
    if (port.kind == LinkKind::kUsbWriter && !WaitForUsbWriter(port.writer_number)) break;
    if (!link_.KeepsRunning()) break;
  }
  link_.outputs.log_sink = status_log_.target();
  bool reset_pending = false;
  {
    std::lock_guard lock(reset_mutex_);
    worker_active_ = false;
    reset_pending = std::exchange(reset_pending_, false);
  }
  std::string failure;
  if (reset_pending && !StoreReset(failure)) {
    dialogs_.ShowMessage(failure, link_.GetText(kMsgError), MessageIcon::kExclamation);
  }
  busy_ = false;
  view_.SetBusy(false);
}

bool DownloadRun::RepeatWait() {
  link_.running = true;
  // A project not made by fw-pack may hold any delay: negative counts as 0, and
  // the count of steps is taken in 64 bits.
  const std::int64_t seconds = std::max<std::int64_t>(repeat_delay_, 0) + 1;
  const std::int64_t steps = seconds * kStepsPerSecond;
  LogMessage(link_, link_.GetText(kMsgRepeatAfter),
             static_cast<int>(std::min<std::int64_t>(seconds, INT_MAX)));
  for (std::int64_t k = steps - 1; k >= 0 && link_.KeepsRunning(); --k) {
    if (k % kStepsPerDot == 0) LogMessage(link_, ".");
    link_.Pause(kWaitStepMs);
  }
  if (link_.KeepsRunning()) return true;
  LogWaitStopped();
  return false;
}

void DownloadRun::LogWaitStopped() { LogMessage(link_, "%s", link_.GetText(kMsgRepeatStopped)); }

void DownloadRun::ShowStatus(const RunStatus& status) {
  status_log_.Told(status);
  view_.ShowRunStatus(status);
}

std::vector<std::string> DownloadRun::SerialNumbersShown() const {
  std::vector<std::string> shown;
  for (int n = 0; n < SerialNumbers::kCount; ++n) {
    if (!project_->serial_numbers[static_cast<std::size_t>(n)].enabled) continue;
    const ProjectStringId label =
        n == 0 ? ProjectStringId::kSerial1Label : ProjectStringId::kSerial2Label;
    shown.push_back(SerialNumberShown(Utf8String(*project_, label), n,
                                      SerialToText(serials_->value(n), kDecimal, 1), language_));
  }
  return shown;
}

bool DownloadRun::UsbWriterPresent(int writer_number) {
  if (usb_writer_bus_ == nullptr || writer_number < 1) return false;
  const std::size_t attached =
      usb_writer_bus_->Enumerate(kUsbWriterVendorId, kUsbWriterProductId).size();
  return attached >= static_cast<std::size_t>(writer_number);
}

bool DownloadRun::WaitForUsbWriter(int writer_number) {
  LogMessage(link_, link_.GetText(kMsgWaitingForUsbDevice));
  for (;;) {
    if (UsbWriterPresent(writer_number)) return true;
    if (!link_.KeepsRunning()) {
      LogWaitStopped();
      return false;
    }
    link_.Pause(kWriterPollMs);
  }
}

}  // namespace fw
