// The timing of one direction of a serial line: a byte takes its bits at the
// line's rate to cross, and cannot start before the byte ahead of it is over.
#pragma once

#include <chrono>

namespace fw::sim {

class LineClock {
 public:
  using Clock = std::chrono::steady_clock;

  // Start bit, eight data bits, stop bit; one more with a parity bit.
  static int BitsPerByte(bool parity) { return parity ? 11 : 10; }
  static Clock::duration ByteTime(double rate, int bits);

  // When a byte handed to the line at `at` has fully crossed it. A rate of 0
  // (unknown) carries it at once.
  Clock::time_point Carry(Clock::time_point at, double rate, int bits);

 private:
  Clock::time_point free_at_{};
};

}  // namespace fw::sim
