// What a download is asked to do: the chip it expects, the rates, the clock,
// what it writes (image, option bytes, user key, passwords, serial numbers),
// the commands for the target's firmware, the download board's parameters and
// the values passed through to it, the run mode and how it reports. A plain
// value: a front end builds it once and every download copies it into its link
// (IspLink::Reinitialise); the steps read it there and never change it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "isp/link/image_placements.h"
#include "isp/link/pass_through.h"
#include "isp/link/target_commands.h"
#include "isp/link/target_identity.h"
#include "messages/message_table.h"

namespace fw {

// The operation a start button asks for; the numbers are the buttons' own.
enum class RunMode : int {
  kOnce = 2,      // one download
  kRepeated = 3,  // downloads again and again until one fails or a stop
  kBoard = 4,     // the project's third operation: the download board made stand-alone
};

// A download password as the boot loader takes it: its ASCII bytes.
struct DownloadPassword {
  static constexpr int kMaxLength = 63;
  std::array<std::uint8_t, kMaxLength> bytes{};
  int length = 0;

  bool operator==(const DownloadPassword&) const = default;
};

// The chip a download expects before identification tells which one answered.
struct ExpectedChip {
  int chip_index = 0;  // into the chip table
  int id = 0;
  int protocol_variant = 0;
  int baud_generator_variant = 0;
  // Ids that pass for the expected one.
  std::array<int, TargetIdentity::kAlternativeIdSlots> alternative_ids{};
  // What identification logs for the expected chip (UTF-8, at most 31 bytes).
  std::string name;
  // Any known chip passes (the command line's detect without a chip).
  bool accept_any_chip = false;

  bool operator==(const ExpectedChip&) const = default;
};

// The download board's parameters and the firmware the project carries for it.
struct BoardRequest {
  std::uint8_t p1 = 0;
  bool p2 = false;
  std::uint8_t p3 = 0;
  bool p4 = false;
  // Board firmware blocks A and B (B held scrambled).
  std::vector<std::uint8_t> firmware_a;
  std::vector<std::uint8_t> firmware_b;
  // The control program a stand-alone board runs (run mode kBoard only).
  std::vector<std::uint8_t> program;

  bool operator==(const BoardRequest&) const = default;
};

struct DownloadRequest {
  static constexpr int kOptionBytes = 32;

  RunMode run_mode = RunMode::kOnce;
  // kLanguageChinese selects the Chinese texts, any other value the English ones.
  int language = kLanguageChinese;
  // Leaves out the information lines (chip, version, options); results and
  // errors are still logged.
  bool quiet_information = false;
  // No sounds, and no result signal to a download board.
  bool silent = false;

  ExpectedChip chip;

  int handshake_baud = 2400;  // the rate of the first contact
  int highest_baud = 115200;  // the fastest rate the download may switch to
  int sync_burst = 1;         // sync bytes per burst; at most 8 are written
  bool paced_sync = false;
  int baud_pause_override = 0;  // ms before a baud change; 0 uses the table by rate

  int set_frequency = 11059200;  // Hz, what the trim aims at
  // The project fixes the frequency: the download assumes it from the start and
  // the report leaves it alone. Without it the download assumes the clock that
  // option byte 15 chooses until the chip reports its own.
  bool frequency_override = false;
  int fixed_frequency = 0;  // Hz, with frequency_override

  // The image source from address 0: the user program, 0xFF where it has no
  // bytes. Empty: the link's buffer as re-initialised.
  std::vector<std::uint8_t> image_source;
  // Bytes of it that the download programs (a multiple of 512).
  int image_length = 0;
  std::vector<std::uint8_t> option_bytes = std::vector<std::uint8_t>(kOptionBytes, 0xFF);
  // The newer sequence programs with command 0x82 instead of 0x02.
  bool program_variant = false;
  // The user key is the project's and is written; its bytes (at most 256, the
  // rest of the key 0xFF).
  bool user_key_present = false;
  std::vector<std::uint8_t> user_key;
  // The project gives passwords: the current one (sent before the erase) and
  // the new one (written with the options).
  bool password_present = false;
  DownloadPassword password;
  DownloadPassword new_password;
  // Only its low byte reaches the option block.
  int option_extra_value = 0;

  // The serial numbers this download writes into the image.
  std::array<SerialNumberPlacement, 2> serial_numbers{};
  TargetCommands commands;
  BoardRequest board;
  PassThroughValues pass_through;

  bool operator==(const DownloadRequest&) const = default;
};

}  // namespace fw
