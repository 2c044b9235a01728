// The simulator's own packet code, written apart from the flasher's link so that
// a framing fault on one side shows up as a failure on the other.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace fw::sim {

// 46 B9 68 00 L payload checksum 16, with an 8-bit or a 16-bit checksum.
std::vector<std::uint8_t> ChipToHostPacket(const std::vector<std::uint8_t>& payload,
                                           bool wide_checksum);

// Splits the bytes from the host into packets (46 B9 6A 00 L ... 16) and the
// bytes between them. A packet is accepted with whichever checksum width fits,
// the preferred one tried first.
class HostByteParser {
 public:
  using PacketHandler = std::function<void(const std::vector<std::uint8_t>& payload)>;
  using LooseByteHandler = std::function<void(std::uint8_t byte)>;

  HostByteParser(PacketHandler on_packet, LooseByteHandler on_loose_byte)
      : on_packet_(std::move(on_packet)), on_loose_byte_(std::move(on_loose_byte)) {}

  void set_prefer_wide(bool wide) { prefer_wide_ = wide; }
  void Feed(std::uint8_t byte);

 private:
  void Finish();
  void Abandon();

  PacketHandler on_packet_;
  LooseByteHandler on_loose_byte_;
  bool prefer_wide_ = false;
  std::vector<std::uint8_t> frame_;
};

}  // namespace fw::sim
