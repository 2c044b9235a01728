// The download board in front of the chip: whether the link goes through one,
// and the buffers of the board firmware that the request fills.
#pragma once

#include <cstdint>
#include <vector>

#include "isp/link/filled_buffer.h"

namespace fw {

struct BoardState {
  // Set when a board answered the handshake; every packet then carries the
  // 16-bit checksum and no sync bytes are written.
  bool mode = false;
  // A stray acknowledgement byte arrived outside a frame.
  bool acknowledge = false;

  // Board firmware from the project; block B is held scrambled.
  std::vector<std::uint8_t> block_a = FilledBuffer(2048, 1024);
  std::vector<std::uint8_t> block_b = FilledBuffer(16384, 8192);
  int block_a_length = 0;
  int block_b_length = 0;
};

}  // namespace fw
