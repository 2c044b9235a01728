// What the simulated chip keeps from one download to the next.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/oscillator.h"
#include "sim/sim_flash.h"
#include "sim/status_reply.h"

namespace fw::sim {

// Wrong download passwords in a row after which the chip locks itself.
inline constexpr int kPasswordAttempts = 5;

struct ChipMemory {
  explicit ChipMemory(const SimChipConfig& config);

  SimFlash flash;
  std::vector<std::uint8_t> user_key;  // 256 bytes once a key was written
  // Option record O0, O1, ... as the status reply lays it out.
  std::vector<std::uint8_t> options;
  // Status reply positions an option block has written.
  std::map<int, std::uint8_t> status_bytes;
  std::vector<std::uint8_t> option_write;  // payload of the last option write taken
  std::string password;                    // download password; empty: none
  int wrong_passwords = 0;
  bool locked = false;
  int downloads = 0;  // downloads the host has closed with its end packet
  // Hz the chip runs at: the configured clock until a trim sets another.
  int clock = 0;
  std::optional<OscillatorSetting> trim;  // the setting the last option write programmed
};

}  // namespace fw::sim
