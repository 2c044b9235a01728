// What the code image receives besides the user program: the download's serial
// numbers and the reply of the user-interface command, each at its address.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace fw {

struct SerialNumberPlacement {
  static constexpr int kValueBytes = 16;
  bool enabled = false;
  int address = 0;
  int length = 0;  // bytes written, the value's lowest ones, most significant first
  // The 128-bit value, least significant byte first.
  std::array<std::uint8_t, kValueBytes> value{};
  int format = 0;  // 2: the value holds ASCII hexadecimal digits
  // Added after each successful download; a stand-alone board adds it itself.
  std::array<std::uint8_t, kValueBytes> step{};

  bool operator==(const SerialNumberPlacement&) const = default;
};

struct UserInterfaceReply {
  static constexpr int kReplyBufferSize = 2048;
  bool enabled = false;
  int address = 0;
  int reply_length = 0;  // 16 bits used
  std::vector<std::uint8_t> reply = std::vector<std::uint8_t>(kReplyBufferSize, 0x00);
};

struct ImagePlacements {
  std::array<SerialNumberPlacement, 2> serial_numbers{};
  UserInterfaceReply user_interface;
};

}  // namespace fw
