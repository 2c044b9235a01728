// The status reply a simulated chip sends after synchronisation, laid out for
// its decoding group so that the flasher reports the configured clock and options.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fw::sim {

struct SimChipConfig {
  int chip_index = 0;     // record of the chip table
  int fw_version = 0x72;  // high nibble major, low nibble minor
  int fw_letter = 'C';
  int fw_build = 0;          // 0 = none
  int frequency = 11059200;  // Hz the chip measures
  int handshake_baud = 0;    // rate the timing count refers to; 0: the rate of the synchronisation
  // Option bytes in the order the group decodes them (O0, O1, ...); bytes not
  // given keep the chip's defaults.
  std::vector<std::uint8_t> options;
  int reply_code = 0x00;       // 0x00, 0x50, 0x80 or 0x8F
  bool report_alt_id = false;  // report the record's alternate id
  int id_override = -1;        // report this id instead (an unknown chip)
  bool short_reply = false;    // too short to carry the chip id
  // The chip's own serial number, in the erase reply (and, up to firmware 6.2,
  // in the status reply).
  std::array<std::uint8_t, 7> serial_number = {0x0D, 0x1C, 0x2B, 0x3A, 0x49, 0x58, 0x67};
  std::string password;           // download password the boot loader asks for; empty: none
  bool locked = false;            // too many wrong passwords already
  std::uint8_t old_flash = 0x00;  // what the flash holds before the first erase
};

// Status bytes 51-57 of families 25 and 28: the boot loader's oscillator
// configuration, which the host echoes in its 65 measurement command.
inline constexpr std::array<std::uint8_t, 7> kOscillatorConfiguration = {0x3C, 0x81, 0x24, 0x5A,
                                                                         0x06, 0x9E, 0x11};
constexpr std::size_t kOscillatorConfigurationAt = 51;

// wide_checksum decides the length of a short reply only. written: status
// positions an option write has set since, shown over the configured bytes.
std::vector<std::uint8_t> BuildStatusPayload(const SimChipConfig& chip, int reply_code,
                                             bool wide_checksum, bool via_board,
                                             const std::map<int, std::uint8_t>& written = {});

// The option byte count of the group the chip decodes with.
int OptionCountOf(const SimChipConfig& chip);

}  // namespace fw::sim
