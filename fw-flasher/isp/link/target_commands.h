// Commands for the user's firmware that still runs in the target before the
// handshake: the user-interface command (its reply goes into the image) and
// the pre-command that makes the firmware restart into its boot loader. Each
// has its own line settings.
#pragma once

#include <cstdint>
#include <vector>

namespace fw {

struct TargetCommand {
  bool enabled = false;
  int baud = 0;
  // As the port control block numbers them: parity 0 none, 1 odd, 2 even,
  // 3 mark, 4 space; stop bits 0 one, 1 one and a half, 2 two.
  int parity = 0;
  int stop_bits = 0;
  // The pre-command's bytes, or the user-interface command's first bytes.
  std::vector<std::uint8_t> bytes;

  bool operator==(const TargetCommand&) const = default;
};

struct TargetCommands {
  TargetCommand user_interface;
  std::vector<std::uint8_t> user_interface_second;
  // Where the user-interface command's reply goes in the image, and how many
  // bytes it has (16 bits used); the link's placements hold the reply itself.
  int user_interface_reply_address = 0;
  int user_interface_reply_length = 0;
  TargetCommand pre_command;

  bool operator==(const TargetCommands&) const = default;
};

}  // namespace fw
