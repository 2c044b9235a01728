// fw-flash: the flasher's operations without a window.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "app/port_devices.h"
#include "cli/chips_command.h"
#include "cli/detect_command.h"
#include "cli/ports_command.h"
#include "isp/link/link_outputs.h"
#include "messages/message_table.h"
#include "target/libusb_writer_bus.h"

namespace {

// Answers the board update questions: fixed by --yes / --no, else asked on the terminal.
class TerminalQuestion final : public fw::YesNoQuestion {
 public:
  explicit TerminalQuestion(int fixed_answer) : fixed_answer_(fixed_answer) {}
  bool Ask(std::string_view text) override {
    std::cout << "\n" << text << " [y/N] " << std::flush;
    if (fixed_answer_ >= 0) {
      std::cout << (fixed_answer_ ? "y" : "n") << std::endl;
      return fixed_answer_ == 1;
    }
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
  }

 private:
  int fixed_answer_;  // -1 ask, 0 no, 1 yes
};

int ListPorts(const fw::PortsOptions& options) {
  const auto devices = fw::MakeUdevSerialDeviceSource();
  std::string usb_error;
  const auto writers = fw::MakeLibusbWriterBus(usb_error);
  if (!writers)
    std::fprintf(stderr, "fw-flash: USB writers are not listed: %s\n", usb_error.c_str());
  std::string error;
  if (!fw::ListPorts(options, *devices, writers.get(), stdout, error)) {
    std::fprintf(stderr, "fw-flash: %s\n", error.c_str());
    return fw::kExitOtherFailure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Firmware flasher without a window"};
  app.require_subcommand(1);

  fw::DetectOptions options;
  std::string language = "en";
  bool yes = false;
  bool no = false;
  CLI::App* detect =
      app.add_subcommand("detect", "Synchronise with the boot loader and report the chip");
  detect
      ->add_option("--port", options.port, "Serial port: a device path, a name under /dev, or COMn")
      ->required();
  detect->add_option("--chip", options.chip, "Expected chip model (default: any known chip)");
  detect->add_option("--baud", options.baud, "Handshake baud rate")
      ->capture_default_str()
      ->check(CLI::Range(300, 1000000));
  detect->add_option("--lang", language, "Language of the log: en or zh")
      ->capture_default_str()
      ->check(CLI::IsMember({"en", "zh"}));
  detect->add_flag("--quiet", options.quiet,
                   "Leave out the version and option lines (the chip found and the result stay)");
  detect->add_option("--timeout", options.timeout_seconds, "Give up after this many seconds")
      ->check(CLI::PositiveNumber);
  detect
      ->add_option("--sync-burst", options.sync_burst, "Sync bytes per burst (at most 8 are sent)")
      ->capture_default_str()
      ->check(CLI::Range(1, 255));
  auto* yes_flag =
      detect->add_flag("--yes", yes, "Answer Yes to the board firmware update question");
  detect->add_flag("--no", no, "Answer No to the board firmware update question")
      ->excludes(yes_flag);
  fw::PortsOptions ports_options;
  CLI::App* ports = app.add_subcommand(
      "ports", "List the ports as the window offers them (* marks the preselected)");
  ports->add_option(
      "--project", ports_options.project_file,
      "Project file whose fixed port applies (default: the one this program carries)");
  ports->add_option("--port", ports_options.port,
                    "A port to add and select, as the window's --port");
  std::string chip_pattern;
  CLI::App* chips = app.add_subcommand("chips", "List the chip names that --chip takes");
  chips->add_option("PATTERN", chip_pattern, "Only names containing this text (any case)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help is a ParseError too, and exits 0; a bad command line joins the other
    // failures that never reach the chip.
    return app.exit(e) == 0 ? 0 : fw::kExitOtherFailure;
  }

  if (chips->parsed()) {
    if (fw::ListChips(chip_pattern, stdout) > 0) return 0;
    std::fprintf(stderr, "fw-flash: no chip name contains \"%s\"\n", chip_pattern.c_str());
    return 1;
  }
  if (ports->parsed()) return ListPorts(ports_options);

  options.language = language == "zh" ? fw::kLanguageChinese : fw::kLanguageEnglish;
  TerminalQuestion question(yes ? 1 : no ? 0 : -1);

  // Ctrl-C and termination requests stop the steps through the running flag.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::atomic<bool> stop{false};
  std::atomic<bool> finished{false};
  std::thread signal_watcher([&] {
    const timespec poll_interval{0, 50'000'000};
    while (!finished.load()) {
      if (sigtimedwait(&signals, nullptr, &poll_interval) > 0) stop = true;
    }
  });

  std::string error;
  const int result = fw::RunDetect(options, stdout, &question, stop, error);
  finished = true;
  signal_watcher.join();
  if (!error.empty()) {
    std::fprintf(stderr, "fw-flash: %s\n", error.c_str());
    return fw::kExitOtherFailure;
  }
  return fw::ExitStatusOf(result);
}
