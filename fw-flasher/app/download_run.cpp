#include "app/download_run.h"

#include <climits>

#include "app/download_view.h"
#include "app/gbk_text.h"
#include "app/profile.h"
#include "app/serial_flow.h"
#include "app/usb_writer_flow.h"
#include "target/usb_writer_transport.h"

namespace fw {
namespace {

// The repeat wait counts in steps of 100 ms and logs a dot every fifth step.
constexpr int kWaitStepMs = 100;
constexpr std::int64_t kStepsPerSecond = 10;
constexpr std::int64_t kStepsPerDot = 5;
// How often the wait for a USB writer looks for it on the bus.
constexpr int kWriterPollMs = 100;

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
    : project_(project), profile_(profile), view_(view), dialogs_(dialogs) {
  choices_.language = language;
  link_.outputs.question = &question_;
  if (project_ != nullptr) {
    serials_.emplace(*project_);
    SetBaudIndexes(project_->string_settings.lowest_baud_index,
                   project_->string_settings.highest_baud_index);
    repeat_delay_ = project_->string_settings.repeat_delay;
    const std::string title = Utf8String(*project_, ProjectStringId::kTitle);
    serial_flow_ = [this, title](IspLink& link, const PortEntry& port) {
      return ComDownload(link, port.device_path, dialogs_, title);
    };
  }
}

void DownloadRun::SetUsbWriterBus(UsbWriterBus& bus) {
  usb_writer_bus_ = &bus;
  const std::string title =
      project_ != nullptr ? Utf8String(*project_, ProjectStringId::kTitle) : std::string();
  usb_writer_flow_ = [this, title](IspLink& link, const PortEntry& port) {
    return UsbWriterDownload(link, *usb_writer_bus_, port.writer_number, dialogs_, title);
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
  choices_.lowest_baud_index = valid(lowest) ? lowest : kDefaultLowestBaudIndex;
  choices_.highest_baud_index = valid(highest) ? highest : kDefaultHighestBaudIndex;
}

bool DownloadRun::StartDownload(int run_mode) {
  if (project_ == nullptr ||
      (run_mode != kRunOnce && run_mode != kRunRepeated && run_mode != kRunBoard)) {
    return false;
  }
  std::lock_guard lock(start_mutex_);
  if (busy_) return false;
  const std::optional<PortEntry> port = view_.SelectedPort();
  if (!port) return false;
  if (worker_.joinable()) worker_.join();
  // Only a start clears the stop request.
  link_.stop_requested = false;
  busy_ = true;
  view_.SetBusy(true);
  worker_ = std::jthread([this, run_mode, entry = *port] { Work(run_mode, entry); });
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
  profile_.WriteInt(profile_keys::kPassCounter, 0);
}

int DownloadRun::Download(const PortEntry& port) {
  const DownloadFlow& flow = port.kind == LinkKind::kUsbWriter ? usb_writer_flow_ : serial_flow_;
  if (flow) return flow(link_, port);
  // No flow reaches this kind of port: it ends like a device that does not open.
  LogMessage(link_, link_.GetText(kMsgDeviceOpenFailed));
  return kStepFailedLogged;
}

void DownloadRun::CountPass() {
  serials_->Advance(profile_, view_);
  const std::uint32_t count = ++pass_counter_;
  profile_.WriteInt(profile_keys::kPassCounter, static_cast<int>(count));
  view_.ShowPassCounter(count);
  ++passes_this_run_;
}

void DownloadRun::Work(int run_mode, PortEntry port) {
  passes_this_run_ = 0;
  choices_.run_mode = run_mode;
  link_.download_count = 0;
  for (;;) {
    link_.Reinitialise();
    CopyDownloadParameters(*project_, choices_, link_);
    PlaceSerialNumbers(serials_->Prepare(view_), link_);
    BuildImageSource(*project_, link_);
    const int result = Download(port);
    last_result_ = result;
    if (result != kStepOk) break;  // the board operation's 5 counts no pass either
    CountPass();
    if (run_mode != kRunRepeated) break;
    if (!RepeatWait()) break;
    if (port.kind == LinkKind::kUsbWriter && !WaitForUsbWriter(port.writer_number)) break;
    if (!link_.KeepsRunning()) break;
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
  return link_.KeepsRunning();
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
    if (!link_.KeepsRunning()) return false;
    link_.Pause(kWriterPollMs);
  }
}

}  // namespace fw
