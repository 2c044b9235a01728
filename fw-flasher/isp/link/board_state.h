// The download board in front of the chip: whether the link goes through one,
// the project's parameters for it and the board firmware the project carries.
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

  std::uint8_t p1 = 0;
  bool p2 = false;
  std::uint8_t p3 = 0;
  bool p4 = false;

  // Board firmware from the project; block B is held scrambled.
  std::vector<std::uint8_t> block_a = FilledBuffer(2048, 1024);
  std::vector<std::uint8_t> block_b = FilledBuffer(16384, 8192);
  int block_a_length = 0;
  int block_b_length = 0;
  // The control program a stand-alone board runs (the third operation of a
  // project only; empty otherwise).
  std::vector<std::uint8_t> program;
};

}  // namespace fw
