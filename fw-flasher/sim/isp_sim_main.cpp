// isp-sim: a simulated boot loader on a pseudo-terminal. Prints the slave path,
// then answers until interrupted.
#include <csignal>
#include <cstdio>
#include <iostream>

#include <CLI/CLI.hpp>

#include "sim/boot_loader_sim.h"
#include "sim/chip_models.h"
#include "sim/oscillator_model.h"
#include "sim/sim_options.h"
#include "version/version.h"

namespace {

bool ParseHexInt(const std::string& text, int max, int& out) {
  try {
    std::size_t used = 0;
    const long v = std::stol(text, &used, 16);
    if (used != text.size() || v < 0 || v > max) return false;
    out = static_cast<int>(v);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Simulated boot loader on a pseudo-terminal: prints the terminal's path, then answers "
      "the synchronisation, identification and a whole download until interrupted.\n"
      "After each download the host closes (its one-byte FF packet), --dump FILE receives the "
      "flash as raw bytes: the code area, then the data area (the chip record's code and data "
      "sizes; what was never erased keeps --old-flash). --dump-state FILE receives JSON: chip, "
      "code_size, data_size, downloads, line_rate (the chip's port), data_area, option_record "
      "(the option bytes the status reply shows, in its order), option_write (the last option "
      "command taken) and user_key (null until written), password, each as hexadecimal text; "
      "status_bytes (status reply position -> byte an option block wrote), wrong_passwords and "
      "locked; clock (Hz the chip runs at) and trim (the programmed oscillator setting: trim, "
      "range, divider, locked_48mhz; null until an option write carries one).\n"
      "The chip's internal oscillator (families 25 and above) answers the host's measurement "
      "commands as the chip's procedure counts them, once the host has sent two of that "
      "procedure's sync bytes (7F for families 25 and 28, 66 for 53 and above before 7.4, FE "
      "otherwise). Within a range its frequency rises smoothly with the trim, about 3 % faster at "
      "the top than at trim 128 and 3 % slower at the bottom; each range above the lowest runs at "
      "a fixed multiple of the one below (x1.75 for families 25, 28 and 53 and above before 7.4, "
      "x1.6 for 26-44, x1.4 for 53 and above from 7.4; 45-52 have one range, whose selector, like "
      "the low two bits of the selector of 53 and above before 7.4, adds quarter trim steps); "
      "families 51 and 52 report half their oscillator's frequency. Defaults (Hz at trim 128 of "
      "the lowest range / Hz a trim step): families 25 and 28: 7,500,000 / 23,400; 26, 27, 29-43: "
      "7,000,000 / 13,700; 44 (7-bit trims, trim 64 in place of 128): 7,500,000 / 30,000; 45-52 "
      "and 53 and above before 7.4: 27,000,000 / 72,000; 53 and above from 7.4: 17,500,000 / "
      "47,000. Once the host has measured the oscillator, the trim setting its switch command "
      "carries (families 25-43) sets the clock the download runs at, and the setting its option "
      "write programs sets the clock the chip runs at from then on (its divider and the 48 MHz "
      "lock of families 61 and 70 included): the next status reply reports it, and --dump-state "
      "shows it as clock, with the setting as trim.\n"
      "With --board a download board answers the synchronisation and relays the download: it "
      "acknowledges each program packet it passes on with a bare 02, echoes the code of an 8F or "
      "8E switch bare, and passes the chip's replies back at the rate FF 02 set for its chip side. "
      "It keeps what it is sent: after FF 0A D0 the F1-F6 requests update its firmware, after FF "
      "0A 01 F1-F3 write its control program and F4 the stand-alone image (header and user "
      "program); without external flash (--board-flash 0) it refuses a program of more than "
      "43,008 bytes. Each time it leaves board mode (FF 07), --dump-board FILE receives JSON: "
      "version, firmware_updates, firmware_a, firmware_image (header and block B), "
      "announced_blocks, program, program_finished, standalone_header, standalone_program "
      "(hexadecimal text, null until received) and last_result (the byte of the last FF 04).\n"
      "Before the boot loader the chip runs the user's firmware: with --ui-request it answers "
      "those bytes (sent at --ui-baud, when given) with the --ui-reply bytes, as a product answers "
      "the flasher's user-interface command; with --boot-command its boot loader answers the "
      "synchronisation only after those bytes (at --boot-baud, when given), as a product that "
      "restarts into its boot loader on the flasher's pre-command. After each download the "
      "firmware runs again.\n"
      "Steps for the faults: prepare, baud, baud-check, password, erase, key, block, record, "
      "close, options, new-password, measure. Blocks are counted from 1 as they arrive (a block "
      "sent again counts once). What the chip finds wrong with a command is printed on "
      "standard error."};
  std::string chip_name;
  std::string fw_text = "7.2C";
  int frequency = 11059200;
  int baud = 0;  // 0: the rate of the host's synchronisation
  std::string options_text;
  std::string reply_text = "00";
  bool alt_id = false;
  std::string id_text;
  bool short_reply = false;
  bool board = false;
  int board_version = 297;
  std::string board_model_text = "50";
  int board_flash = 0;
  int crystal_count = 9216;
  int version_after_update = 297;
  bool pace = false;
  std::string dump_path;
  std::string state_path;
  std::string board_dump_path;
  std::string serial_text;
  std::string password;
  bool locked = false;
  std::string old_flash_text = "00";
  std::vector<std::string> resend_texts;
  int option_resends = 0;
  int wrong_reply_block = 0;
  std::string silent_text;
  std::vector<std::string> short_texts;
  double osc_offset = 0;
  double osc_span = 0;
  std::string osc_shape_text = "normal";
  std::string ui_request_text;
  std::string ui_reply_text;
  int ui_baud = 0;
  std::string boot_command_text;
  int boot_baud = 0;

  app.add_option("--chip", chip_name, "Chip model from the chip table")->required();
  app.add_option("--fw", fw_text, "Boot loader version, e.g. 7.2C or 7.1.3S")
      ->capture_default_str();
  app.add_option("--freq", frequency, "Clock frequency the chip reports, Hz")
      ->capture_default_str()
      ->check(CLI::Range(1000, 100000000));
  app.add_option("--baud", baud,
                 "Baud rate the timing count refers to (default: the rate of the host's "
                 "synchronisation)")
      ->check(CLI::Range(300, 1000000));
  app.add_option("--options", options_text, "Option bytes O0, O1, ... in hexadecimal");
  app.add_option("--reply", reply_text, "Reply code: 00, 50, 80 or 8F")
      ->capture_default_str()
      ->check(CLI::IsMember({"00", "50", "80", "8F", "8f"}));
  app.add_flag("--alt-id", alt_id, "Report the chip's alternate id");
  app.add_option("--id", id_text, "Report this chip id (hexadecimal) instead of the chip's own");
  app.add_flag("--short", short_reply, "Send a status reply too short to carry the chip id");
  app.add_flag("--board", board, "Put a download board in front of the chip");
  app.add_option("--board-version", board_version, "Board version as byte1*256+byte2, e.g. 297")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  app.add_option("--board-model", board_model_text, "Board model code, hexadecimal")
      ->capture_default_str();
  app.add_option("--board-flash", board_flash, "External flash size code (0: none)")
      ->capture_default_str()
      ->check(CLI::Range(0, 255));
  app.add_option("--crystal-count", crystal_count, "Board crystal count")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  app.add_option("--board-version-after-update", version_after_update, "Board version once updated")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  app.add_flag("--pace", pace,
               "Carry bytes at the line's pace, both ways (10 bits a byte, 11 with parity)");
  app.add_option("--dump", dump_path, "Write the flash here after each download");
  app.add_option("--dump-state", state_path,
                 "Write the rest of the chip's memory here as JSON after each download");
  app.add_option("--dump-board", board_dump_path,
                 "Write what the download board holds here as JSON each time it leaves board mode");
  app.add_option("--serial", serial_text, "The chip's 7-byte serial number, hexadecimal");
  app.add_option("--password", password, "Download password the boot loader asks for");
  app.add_flag("--locked", locked, "The chip is locked after too many wrong passwords");
  app.add_option("--old-flash", old_flash_text, "What the flash holds before the first erase")
      ->capture_default_str();
  app.add_option("--resend", resend_texts,
                 "Ask for block N again (N:K: K times) before taking it; protocol variants 0-2");
  app.add_option("--resend-options", option_resends,
                 "Answer the option write 81 this many times; protocol variant 0")
      ->check(CLI::Range(0, 1000000));
  app.add_option("--wrong-reply", wrong_reply_block,
                 "Answer block N with a wrong block sum (or not 54)")
      ->check(CLI::Range(1, 1000000));
  app.add_option("--silent-after", silent_text,
                 "Answer STEP (block:N for block N), then nothing until the next synchronisation");
  app.add_option("--short-reply", short_texts, "Answer STEP with its reply code alone");
  app.add_option("--osc-offset", osc_offset,
                 "Oscillator: Hz at trim 128 of the lowest range (default: the family's)")
      ->check(CLI::Range(100000.0, 200000000.0));
  app.add_option("--osc-span", osc_span,
                 "Oscillator: Hz one trim step moves it at trim 128 (default: the family's)")
      ->check(CLI::Range(1.0, 10000000.0));
  app.add_option("--osc-shape", osc_shape_text,
                 "Oscillator: normal, narrow (ranges 2 % apart, a sixteenth of the step), flat "
                 "(one frequency) or reversed (falls as the trim rises)")
      ->capture_default_str()
      ->check(CLI::IsMember({"normal", "narrow", "flat", "reversed"}));
  app.add_option("--ui-request", ui_request_text,
                 "Firmware: the user-interface request it answers, hexadecimal bytes");
  app.add_option("--ui-reply", ui_reply_text,
                 "Firmware: its reply to the user-interface request, hexadecimal bytes");
  app.add_option("--ui-baud", ui_baud, "Firmware: the rate it takes the request at (default: any)")
      ->check(CLI::Range(300, 1000000));
  app.add_option("--boot-command", boot_command_text,
                 "Firmware: the bytes that restart the chip into its boot loader (hexadecimal); "
                 "until they come, the boot loader does not answer");
  app.add_option("--boot-baud", boot_baud,
                 "Firmware: the rate it takes the boot command at (default: any)")
      ->check(CLI::Range(300, 1000000));
  app.set_version_flag("--version", fw::version::VersionLine("isp-sim"));
  CLI11_PARSE(app, argc, argv);

  fw::sim::SimChipConfig chip;
  chip.chip_index = fw::sim::SimChipIndex(chip_name);
  if (chip.chip_index <= 0) {
    std::cerr << "isp-sim: unknown chip " << chip_name << "\n";
    return 2;
  }
  auto version = fw::sim::ParseFirmwareVersion(fw_text);
  if (!version) {
    std::cerr << "isp-sim: --fw wants a version like 7.2C or 7.2.5C, not " << fw_text << "\n";
    return 2;
  }
  chip.fw_version = version->version_byte;
  chip.fw_letter = version->letter;
  chip.fw_build = version->build;
  chip.frequency = frequency;
  chip.handshake_baud = baud;
  if (!options_text.empty()) {
    auto bytes = fw::sim::ParseHexBytes(options_text);
    if (!bytes) {
      std::cerr << "isp-sim: --options wants hexadecimal bytes\n";
      return 2;
    }
    chip.options = *bytes;
  }
  ParseHexInt(reply_text, 0xFF, chip.reply_code);
  chip.report_alt_id = alt_id;
  if (!id_text.empty() && !ParseHexInt(id_text, 0xFFFF, chip.id_override)) {
    std::cerr << "isp-sim: --id wants a 16-bit hexadecimal id\n";
    return 2;
  }
  chip.short_reply = short_reply;
  chip.password = password;
  chip.locked = locked;
  if (!serial_text.empty()) {
    auto bytes = fw::sim::ParseHexBytes(serial_text);
    if (!bytes || bytes->size() != chip.serial_number.size()) {
      std::cerr << "isp-sim: --serial wants 7 hexadecimal bytes\n";
      return 2;
    }
    std::copy(bytes->begin(), bytes->end(), chip.serial_number.begin());
  }
  int old_flash = 0;
  if (!ParseHexInt(old_flash_text, 0xFF, old_flash)) {
    std::cerr << "isp-sim: --old-flash wants a hexadecimal byte\n";
    return 2;
  }
  chip.old_flash = static_cast<std::uint8_t>(old_flash);

  fw::sim::OscillatorConfig oscillator;
  oscillator.offset = osc_offset;
  oscillator.span = osc_span;
  oscillator.shape = *fw::sim::OscillatorShapeNamed(osc_shape_text);
  fw::sim::OscillatorModel oscillator_model(oscillator);
  const std::string problem =
      oscillator_model.oscillator().Problem(fw::sim::TrimProcedureOf(fw::sim::TraitsOf(chip)));
  if (!problem.empty()) {
    std::cerr << "isp-sim: " << problem << "\n";
    return 2;
  }

  fw::sim::SimRunConfig run;
  const std::pair<const std::string*, std::vector<std::uint8_t>*> firmware_bytes[] = {
      {&ui_request_text, &run.firmware.ui_request},
      {&ui_reply_text, &run.firmware.ui_reply},
      {&boot_command_text, &run.firmware.boot_command},
  };
  for (const auto& [text, bytes] : firmware_bytes) {
    if (text->empty()) continue;
    auto parsed = fw::sim::ParseHexBytes(*text);
    if (!parsed) {
      std::cerr << "isp-sim: --ui-request, --ui-reply and --boot-command want hexadecimal bytes, "
                   "not "
                << *text << "\n";
      return 2;
    }
    *bytes = *parsed;
  }
  run.firmware.ui_rate = ui_baud;
  run.firmware.boot_rate = boot_baud;
  run.pace = pace;
  run.measurement = &oscillator_model;
  run.dump_path = dump_path;
  run.state_path = state_path;
  run.board_dump_path = board_dump_path;
  run.on_note = [](const std::string& text) { std::cerr << "isp-sim: " << text << std::endl; };
  for (const auto& text : resend_texts) {
    if (!fw::sim::ParseResend(text, run.faults)) {
      std::cerr << "isp-sim: --resend wants a block number N or N:K, not " << text << "\n";
      return 2;
    }
  }
  run.faults.option_resends = option_resends;
  run.faults.wrong_reply_block = wrong_reply_block;
  if (!silent_text.empty() && !fw::sim::ParseSilentAfter(silent_text, run.faults)) {
    std::cerr << "isp-sim: --silent-after wants a step (see --help), not " << silent_text << "\n";
    return 2;
  }
  for (const auto& text : short_texts) {
    const auto step = fw::sim::StepNamed(text);
    if (!step) {
      std::cerr << "isp-sim: --short-reply wants a step (see --help), not " << text << "\n";
      return 2;
    }
    run.faults.short_replies.insert(*step);
  }

  fw::sim::SimBoardConfig board_config;
  board_config.present = board;
  board_config.version = board_version;
  if (!ParseHexInt(board_model_text, 0xFF, board_config.model_code)) {
    std::cerr << "isp-sim: --board-model wants a hexadecimal byte\n";
    return 2;
  }
  board_config.flash_code = board_flash;
  board_config.crystal_count = crystal_count;
  board_config.version_after_update = version_after_update;

  // Signals are taken by sigwait below, not by a handler.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  fw::sim::BootLoaderSim sim(chip, board_config, std::move(run));
  std::string error;
  if (!sim.Start(error)) {
    std::cerr << "isp-sim: " << error << "\n";
    return 1;
  }
  std::cout << sim.slave_path() << std::endl;
  int signal_number = 0;
  sigwait(&signals, &signal_number);
  sim.Stop();
  return 0;
}
