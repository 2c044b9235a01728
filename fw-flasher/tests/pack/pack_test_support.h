// Shared by the fw-pack tests: a folder of files per test, passwords answered
// from a script, and project descriptions that use every setting.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/run/secret_input.h"
#include "tests/support/temp_folder.h"

namespace fw::test {

class ScriptedSecrets final : public SecretInput {
 public:
  explicit ScriptedSecrets(std::deque<std::string> answers) : answers_(std::move(answers)) {}
  std::optional<std::string> Ask(const std::string& prompt) override {
    prompts.push_back(prompt);
    if (answers_.empty()) return std::nullopt;
    std::string answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  std::vector<std::string> prompts;

 private:
  std::deque<std::string> answers_;
};

// fw-pack's tests work in a folder of their own.
using PackFolderTest = TempFolderTest;

// Every setting away from its default. The chip has a data area (69,632 bytes
// of flash, a top reserve from 66,560) so that a data image can follow the code.
inline const char* const kFullDescription = R"({
  "chip": "QMV11A64000",
  "option_words": ["0x11223344", 1432778632, "0xFFFFFFFF", 0],
  "set_frequency_hz": 11059200,
  "frequency_override_hz": 22118400,
  "baud_pause_override_ms": 150,
  "sync_burst": 3,
  "option_extra_value": -2,
  "program_variant": true,
  "silent": true,
  "option_bytes": {
    "set_option_bytes_16_to_18": true, "option_byte_17": 161, "option_byte_18": "0xB2",
    "keep_option_16_bit_1": true, "keep_option_16_bit_2": false, "paced_sync": true
  },
  "board": {"p1": 51, "p2": 7, "p3": 50, "p4": true},
  "option_flags": {"flag_2": true, "flag_3": false, "flag_4": true, "flag_5": true},
  "pass_through": {"value_1": 68, "value_2": 85, "value_3": 305419896, "value_4": 119,
                   "value_5_base": 102},
  "pre_command": {"enabled": true, "baud": 9600, "parity": "even", "stop_bits": 2,
                  "bytes": "24 ff"},
  "user_interface_command": {"enabled": true, "baud": 4800, "parity": "odd", "stop_bits": 1,
                             "reply_length": 16, "reply_address": "0x0300",
                             "first_bytes": "01 02 03", "second_bytes": "0405"},
  "serial_numbers": [
    {"enabled": true, "length": 4, "start": "1234", "address": "0x0100", "step": 1,
     "format": "bcd"},
    {"enabled": true, "length": 16, "start": "340282366920938463463374607431768211455",
     "address": 512, "step": "18446744073709551616", "format": "number"}
  ],
  "data_offset": 65536,
  "code_image": "firmware.hex",
  "data_image": {"hex": "DDDDDDDDDDDDDDDD"},
  "user_key": {"hex": "5A5A5A5A5A5A5A5A"},
  "board_program": {"hex": "010203"},
  "board_firmware_a": {"hex": "06"},
  "board_firmware_b": {"hex": "0405"},
  "texts": {
    "language": "CH", "title": "继电器", "start_once_caption": "Start",
    "start_repeat_caption": "Repeat", "start_third_caption": "Third",
    "serial_1_label": "SN 1", "serial_2_label": "SN 2", "initial_log": "Log\r\n",
    "chip_name": "Chip", "application_name": "App"
  },
  "lowest_baud": 4800,
  "highest_baud": 57600,
  "repeat_delay": 4,
  "label_colour": "#FF0000",
  "quiet_information": true,
  "auto_start": {"enabled": true, "port_index": 15},
  "login": {"required": true, "password": {"file": "login.txt"}},
  "download_passwords": {"current": {"prompt": true}, "new": {"file": "new.txt"}}
})";

// The firmware that kFullDescription names: 02 00 30 at 0, AA BB at 6.
inline const char* const kFullFirmwareHex = ":03000000020030CB\n:02000600AABB93\n:00000001FF\n";

// Only what is required.
inline const char* const kMinimalDescription = R"({
  "chip": "QMV45A60000",
  "code_image": {"hex": "020030"},
  "texts": {"application_name": "Minimal"}
})";

}  // namespace fw::test
