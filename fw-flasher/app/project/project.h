// The project a flasher carries: the firmware and every setting of how to
// download it, parsed once at start and then read by the worker, the flows, the
// dialog and fw-flash. A setting whose record is absent keeps 0, false or empty.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/project/serial_value.h"

namespace fw {

// Project strings by their use; string k is the k-th NUL-terminated text of the
// strings record.
enum class ProjectStringId : int {
  kLanguage = 0,  // "CH" selects Chinese
  kTitle = 1,
  kStartOnceCaption = 2,  // button 1046
  kSerial1Label = 3,
  kInitialLog = 4,
  kBaudAndRepeat = 5,       // "lowest,highest,repeat delay,label colour"
  kStartRepeatCaption = 6,  // button 1047
  kNotUsed7 = 7,
  kNotUsed8 = 8,
  kChipName = 9,
  kSerial2Label = 10,
  kApplicationName = 11,
  kQuietInformation = 12,
  kStartThirdCaption = 13,  // button 1048; empty hides it
  kAutoStart = 14,
  kFixedPortIndex = 15,
  kLoginRequired = 16,
  kLoginDigest = 17,
};
constexpr int kKnownProjectStrings = 18;

struct SerialNumberSettings {
  bool enabled = false;
  std::int32_t length = 0;  // bytes written into the image
  SerialValue start;
  std::int32_t address = 0;  // image address of the most significant byte
  SerialValue step;
  std::uint8_t format = 0;  // 0 plain number, 1 BCD, 2 ASCII hexadecimal digits
};

// How option bytes 16 to 18 are set before a download (record 20).
struct OptionByteSettings {
  std::uint8_t option_byte_17 = 0;
  bool keep_option_16_bit_1 = false;
  std::uint8_t option_byte_18 = 0;
  bool keep_option_16_bit_2 = false;
  bool set_option_bytes_16_to_18 = false;  // without it the three bytes stay 0xFF
  bool paced_sync = false;
};

// Line settings of a command sent to the target's running firmware.
struct CommandLine {
  bool enabled = false;
  std::int32_t baud = 0;
  std::uint8_t parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t stop_bits = 0;  // 0 one, 1 one and a half, 2 two
};

// Record 23: bytes that make the firmware enter its boot loader.
struct PreCommand {
  CommandLine line;
  std::vector<std::uint8_t> bytes;
};

// Record 24: first bytes, a reply written into the image, second bytes.
struct UserInterfaceCommand {
  CommandLine line;
  std::uint16_t reply_length = 0;
  std::int32_t reply_address = 0;
  std::vector<std::uint8_t> first_bytes;
  std::vector<std::uint8_t> second_bytes;
};

// Settings read from the project strings 5, 12 and 14 to 16.
struct StringSettings {
  int lowest_baud_index = 1;
  int highest_baud_index = 9;
  int repeat_delay = 0;  // seconds minus one between repeated downloads
  int label_colour = 0;  // 0x00BBGGRR
  bool quiet_information = false;
  bool auto_start = false;
  unsigned long fixed_port_index = 0;
  bool login_required = false;
};

struct Project {
  std::uint32_t format_version = 0;

  // Target chip: the identity the record names and the chip table index it selects.
  std::uint16_t chip_id = 0;
  std::uint8_t chip_sub_model = 0;
  int chip_index = 0;

  std::array<std::uint32_t, 4> option_words{};
  std::int32_t set_frequency = 0;  // Hz
  std::array<SerialNumberSettings, 2> serial_numbers{};
  OptionByteSettings option_bytes;
  bool program_variant = false;
  bool silent = false;
  PreCommand pre_command;
  UserInterfaceCommand user_interface_command;
  // Each present record sets the flag "download password present".
  std::optional<std::string> current_download_password;
  std::optional<std::string> new_download_password;

  // Download board parameters, option flags 2-5 and values passed through to the
  // handshake and clock trim unchanged.
  std::uint8_t board_p1 = 0;
  std::uint8_t board_p2 = 0;
  int board_p3 = 0;
  bool board_p4 = false;
  bool option_flag_2 = false;
  bool option_flag_3 = false;
  bool option_flag_4 = false;
  bool option_flag_5 = false;
  std::uint8_t pass_through_1 = 0;
  std::uint8_t pass_through_2 = 0;
  std::int32_t pass_through_3 = 0;
  std::uint8_t pass_through_4 = 0;
  std::uint8_t pass_through_5_base = 0;

  std::int32_t frequency_override = 0;   // Hz, 0 none
  std::int32_t baud_pause_override = 0;  // ms
  std::int32_t sync_burst = 0;
  std::int32_t option_extra_value = 0;
  std::int32_t data_offset = 0;  // image address of the data block

  std::vector<std::uint8_t> code_block;
  std::vector<std::uint8_t> data_block;
  std::optional<std::vector<std::uint8_t>> user_key;  // present: the flag "user key present"
  std::vector<std::uint8_t> board_program;
  std::vector<std::uint8_t> board_firmware_a;
  std::vector<std::uint8_t> board_firmware_b;  // held scrambled, as the board update needs it
  std::vector<std::string> strings;            // GBK bytes
  StringSettings string_settings;

  // Project string k; empty when there are fewer strings.
  std::string_view String(int k) const;
  std::string_view String(ProjectStringId id) const { return String(static_cast<int>(id)); }
  bool DownloadPasswordPresent() const {
    return current_download_password.has_value() || new_download_password.has_value();
  }
};

// Project string k of the project (empty when there are fewer strings).
std::string_view ProjectString(const Project& project, int k);

// Reads string 5 ("%d,%d,%d,%d": fields it does not supply keep their values;
// baud indexes outside 0..9 keep 1 and 9) and the numbers of strings 12 and
// 14 to 16 (unsigned, automatic base).
StringSettings ReadStringSettings(const Project& project);

}  // namespace fw
