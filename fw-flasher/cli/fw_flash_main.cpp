// fw-flash: the flasher's operations without a window.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "app/run/port_devices.h"
#include "app/run/secret_input.h"
#include "cli/chips_command.h"
#include "cli/detect_command.h"
#include "cli/download_command.h"
#include "cli/ports_command.h"
#include "cli/run_command.h"
#include "cli/terminal_io.h"
#include "isp/link/link_outputs.h"
#include "messages/message_table.h"
#include "target/usb_writer/libusb_writer_bus.h"
#include "version/version.h"

namespace {

void AddLanguageOption(CLI::App* command, std::string& language) {
  command->add_option("--lang", language, "Language of the log: en or zh")
      ->capture_default_str()
      ->check(CLI::IsMember({"en", "zh"}));
}

void AddPortOption(CLI::App* command, std::string& port) {
  command->add_option("--port", port, "Serial port: a device path, a name under /dev, or COMn")
      ->required();
}

// fw-flash run: the operator's mode. Its language and answers go into options
// once the command line is parsed.
struct RunCommandLine {
  fw::RunCommandOptions options;
  std::string language;  // empty: the project's
  bool yes = false;
  bool no = false;
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

CLI::App* AddRunCommand(CLI::App& app, RunCommandLine& run) {
  CLI::App* command = app.add_subcommand(
      "run",
      "Download the project this flasher carries (or --project) as the flasher's window does; "
      "Ctrl-C is the stop button");
  command->add_option("--project", run.options.project,
                      "A project file: a flasher made by fw-pack, or a project block "
                      "(default: the project appended to this program)");
  command->add_option("--port", run.options.port,
                      "Serial port (a device path, a name under /dev, or COMn) or USB writer "
                      "USBn (default: the port the project or the profile names, COM1 without "
                      "one)");
  auto* repeat_flag =
      command->add_flag("--repeat", run.options.repeat,
                        "After each successful download wait the project's repeat delay and start "
                        "again, until a download fails or Ctrl-C");
  command
      ->add_flag("--board-program", run.options.board_program,
                 "The project's third operation: load the download board on the port with its "
                 "control program and the firmware, so that it programs chips on its own")
      ->excludes(repeat_flag);
  command
      ->add_option("--lang", run.language, "Language of the log: en or zh (default: the project's)")
      ->check(CLI::IsMember({"en", "zh"}));
  auto* yes_flag = command->add_flag("--yes", run.yes, "Answer Yes to every question");
  command->add_flag("--no", run.no, "Answer No to every question")->excludes(yes_flag);
  command->add_flag("--quiet", run.options.quiet, "Leave out the chip, version and option lines");
  command->add_option("--password-file", run.options.password_file,
                      "The login password: the first line of this file (default: asked for)");
  command->add_flag("--serial-wrap", run.options.serial_wrap,
                    "A serial number that outgrows its length is written as its low bytes "
                    "(without it the run stops before erasing)");
  return command;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Firmware flasher without a window"};
  app.require_subcommand(1);
  app.set_version_flag("--version", fw::version::VersionLine("fw-flash"));

  fw::DetectOptions options;
  std::string language = "en";
  bool yes = false;
  bool no = false;
  CLI::App* detect =
      app.add_subcommand("detect", "Synchronise with the boot loader and report the chip");
  AddPortOption(detect, options.port);
  detect->add_option("--chip", options.chip, "Expected chip model (default: any known chip)");
  detect->add_option("--baud", options.baud, "Handshake baud rate")
      ->capture_default_str()
      ->check(CLI::Range(300, 1000000));
  AddLanguageOption(detect, language);
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

  fw::DownloadCommandOptions download_options;
  std::string option_text;
  std::string password;
  std::string new_password;
  CLI::App* download =
      app.add_subcommand("download", "Download an image file into the chip on a port");
  AddPortOption(download, download_options.port);
  download->add_option("--chip", download_options.chip, "Chip model the image is made for")
      ->required();
  download
      ->add_option("--image", download_options.image,
                   "The firmware: raw binary (placed at 0), or Intel HEX (.hex, .ihx, .ihex)")
      ->required();
  auto* data =
      download->add_option("--data", download_options.data,
                           "A data block (raw binary or Intel HEX) placed at --data-offset");
  download
      ->add_option("--data-offset", download_options.data_offset, "Image address of the data block")
      ->check(CLI::Range(0, 131071))
      ->needs(data);
  download
      ->add_option("--handshake-baud", download_options.handshake_baud,
                   "Lowest rate: the one the boot loader is contacted at")
      ->capture_default_str()
      ->check(CLI::Range(300, 1000000));
  download
      ->add_option("--baud-max", download_options.highest_baud,
                   "Highest rate the download may switch to")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000000));
  download
      ->add_option("--freq", download_options.set_frequency,
                   "Set frequency in Hz: what the chip's clock is trimmed to")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000000));
  download->add_option("--options", option_text,
                       "Option bytes from byte 0 in hexadecimal (at most 32; default all FF)");
  download->add_option("--user-key", download_options.user_key,
                       "File of the user key (at most 256 bytes; the rest is FF)");
  auto* password_option =
      download->add_option("--password", password, "Download password the chip asks for");
  auto* new_password_option = download->add_option(
      "--new-password", new_password, "Download password the chip asks for from now on");
  download->add_flag("--program-variant", download_options.program_variant,
                     "Program with the variant command (newer chips)");
  AddLanguageOption(download, language);
  download->add_flag("--quiet", download_options.quiet,
                     "Leave out the chip, version and option lines");
  download->add_flag("--silent", download_options.silent, "No sounds (terminal bell)");
  download
      ->add_option("--timeout", download_options.timeout_seconds,
                   "Stop the download after this many seconds")
      ->check(CLI::PositiveNumber);

  RunCommandLine run_line;
  CLI::App* run = AddRunCommand(app, run_line);

  try {
    app.parse(argc, argv);
    if (!option_text.empty() && !fw::ParseOptionBytes(option_text, download_options.option_bytes)) {
      throw CLI::ValidationError("--options", "wants up to 32 bytes in hexadecimal");
    }
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

  const int lang = language == "zh" ? fw::kLanguageChinese : fw::kLanguageEnglish;
  std::atomic<bool> stop{false};
  std::string error;
  int result = 0;
  if (*run) {
    fw::RunCommandOptions& run_options = run_line.options;
    if (!run_line.language.empty()) {
      run_options.language =
          run_line.language == "zh" ? fw::kLanguageChinese : fw::kLanguageEnglish;
    }
    run_options.answer = run_line.yes  ? fw::FixedAnswer::kYes
                         : run_line.no ? fw::FixedAnswer::kNo
                                       : fw::FixedAnswer::kAsk;
    run_options.show_progress = isatty(STDOUT_FILENO) != 0;
    fw::TerminalSecretInput secrets(false);
    fw::TerminalBell bell;
    return fw::RunProject(run_options, stdout, secrets, &bell, stop);
  }
  {
    const fw::StopOnSignals signals(stop);
    if (*download) {
      download_options.language = lang;
      if (*password_option) download_options.password = password;
      if (*new_password_option) download_options.new_password = new_password;
      download_options.show_progress = isatty(STDOUT_FILENO) != 0;
      fw::TerminalBell bell;
      result = fw::RunDownload(download_options, stdout, &bell, stop, error);
    } else {
      options.language = lang;
      fw::TerminalDialogs dialogs(yes  ? fw::FixedAnswer::kYes
                                  : no ? fw::FixedAnswer::kNo
                                       : fw::FixedAnswer::kAsk,
                                  [&] { return stop.load(); });
      fw::DialogsQuestion question(dialogs);
      result = fw::RunDetect(options, stdout, &question, stop, error);
    }
  }
  if (!error.empty()) {
    std::fprintf(stderr, "fw-flash: %s\n", error.c_str());
    return fw::kExitOtherFailure;
  }
  return fw::ExitStatusOf(result);
}
