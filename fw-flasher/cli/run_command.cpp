#include "cli/run_command.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "app/project/gbk_text.h"
#include "app/project/project_loader.h"
#include "app/run/download_run.h"
#include "app/run/download_view.h"
#include "app/run/login_digest.h"
#include "app/run/secret_input.h"
#include "app/run/settings_profile.h"
#include "cli/detect_command.h"
#include "messages/message_table.h"
#include "target/usb_writer/libusb_writer_bus.h"

namespace fw {
namespace {

// How often the run is looked at for a stop and its end.
constexpr auto kWatchInterval = std::chrono::milliseconds(20);

// The dialog's controls for a run without a window: the serial-number edits
// hold their text, the port is the one chosen at the start.
class TerminalView final : public DownloadView {
 public:
  explicit TerminalView(PortEntry port) : port_(std::move(port)) {}
  void SetBusy(bool) override {}
  void ShowPassCounter(std::uint32_t) override {}
  std::string SerialText(SerialEdit edit) override {
    std::lock_guard lock(mutex_);
    return edits_[static_cast<int>(edit)];
  }
  void ShowSerialText(SerialEdit edit, std::string_view text) override {
    std::lock_guard lock(mutex_);
    edits_[static_cast<int>(edit)] = std::string(text);
  }
  std::optional<PortEntry> SelectedPort() override { return port_; }

 private:
  std::mutex mutex_;
  std::string edits_[2];
  PortEntry port_;
};

// The log of a window is cleared when a download starts; on a terminal, where
// the lines stay, a line end keeps the next download's lines apart.
class TerminalLog final : public LogSink {
 public:
  explicit TerminalLog(std::FILE* out) : out_(out) {}
  void Clear() override {
    if (written_) std::fputc('\n', out_);
    written_ = false;
  }
  void Append(std::string_view) override { written_ = true; }

 private:
  std::FILE* out_;
  bool written_ = false;
};

// A message the program ends with, on standard error: the text without its
// line ends, then the reason when there is one.
int Refuse(int message_id, int language, const std::string& reason) {
  std::string text = GetText(message_id, language);
  std::erase(text, '\r');
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::cerr << "fw-flash: " << text;
  if (!reason.empty()) std::cerr << " (" << reason << ")";
  std::cerr << std::endl;
  return kExitOtherFailure;
}

// The login of a project that needs one: the password from the file or typed.
bool LoggedIn(const Project& project, const RunCommandOptions& options, SecretInput& secrets,
              int language) {
  std::optional<std::string> typed;
  if (!options.password_file.empty()) {
    typed = ReadSecretFile(options.password_file);
    if (!typed) {
      std::cerr << "fw-flash: cannot read the password file " << options.password_file << std::endl;
      return false;
    }
  } else {
    typed = secrets.Ask(GetText(kMsgPasswordPrompt, language) + std::string(" "));
    if (!typed) return false;  // the login was not answered
  }
  if (LoginMatches(project, *typed)) return true;
  Refuse(kMsgPasswordIncorrect, language, {});
  return false;
}

}  // namespace

int RunProject(const RunCommandOptions& options, std::FILE* out, SecretInput& secrets,
               SoundSink* sounds, std::atomic<bool>& stop_requested) {
  // Until the project names its language the messages are Chinese.
  const int early_language = options.language.value_or(kLanguageChinese);
  const ProjectLoadResult loaded =
      options.project.empty() ? LoadOwnProject() : LoadProjectFile(options.project);
  if (!loaded.project) return Refuse(loaded.message_id, early_language, loaded.reason);
  const Project& project = *loaded.project;
  const int language = options.language.value_or(
      LanguageFromProjectString(project.String(ProjectStringId::kLanguage)));
  if (project.string_settings.login_required && !LoggedIn(project, options, secrets, language)) {
    return kExitOtherFailure;
  }
  const StopOnSignals signals(stop_requested);

  SettingsProfile profile(project.String(ProjectStringId::kApplicationName));
  const std::optional<PortEntry> port = options.port.empty()
                                            ? PortEntryOfIndex(StoredPortIndex(project, profile))
                                            : PortEntryOfName(options.port);
  if (!port) {
    std::cerr << "fw-flash: --port " << options.port
              << " names no USB writer (USB1 to USB255) and no serial port" << std::endl;
    return kExitOtherFailure;
  }
  // The USB writers are reached through libusb, started only for them.
  std::unique_ptr<UsbWriterBus> usb_writers;
  if (port->kind == LinkKind::kUsbWriter) {
    std::string error;
    usb_writers = MakeLibusbWriterBus(error);
    if (!usb_writers) {
      std::cerr << "fw-flash: USB writers cannot be reached: " << error << std::endl;
      return kExitOtherFailure;
    }
  }
  TerminalView view(*port);
  TerminalDialogs dialogs(options.answer, [&] { return stop_requested.load(); });
  TerminalLog log(out);
  DownloadRun run(&project, profile, view, dialogs, language);
  if (usb_writers) run.SetUsbWriterBus(*usb_writers);
  IspLink& link = run.link();
  link.outputs.log_sink = &log;
  link.outputs.echo = out;
  link.outputs.echo_progress = options.show_progress;
  link.outputs.sound_sink = sounds;
  run.SetQuietInformation(options.quiet);
  run.SetSerialWrap(options.serial_wrap);

  const std::string initial_log = GbkToUtf8(project.String(ProjectStringId::kInitialLog));
  if (!initial_log.empty()) LogText(link, initial_log);
  run.Initialise();
  const RunMode run_mode = options.board_program ? RunMode::kBoard
                           : options.repeat      ? RunMode::kRepeated
                                                 : RunMode::kOnce;
  if (!stop_requested && run.StartDownload(run_mode)) {
    while (run.busy()) {
      if (stop_requested) run.StopDownload();
      std::this_thread::sleep_for(kWatchInterval);
    }
    run.WaitUntilIdle();
  }
  const int result = stop_requested && run.last_result() == kStepOk && run.passes_this_run() == 0
                         ? kStepStopped
                         : run.last_result();
  // A run that stopped on the profile or a serial number closes with its message.
  const bool run_stopped = run.run_stop() != DownloadRun::RunStop::kNone;
  if (!run_stopped) std::fprintf(out, "\n%s", ResultLine(result, language).c_str());
  LogMessage(link, GetText(kMsgPassesThisRunAndTotal, language), run.passes_this_run(),
             run.pass_counter());
  std::fflush(out);
  if (run_stopped) return kExitOtherFailure;
  // The board operation ends with its own result when it succeeded.
  if (options.board_program && result == kStepFinishedEarly) return 0;
  return ExitStatusOf(result);
}

}  // namespace fw
