#include "sim/line_clock.h"

#include <algorithm>

namespace fw::sim {

LineClock::Clock::duration LineClock::ByteTime(double rate, int bits) {
  if (rate <= 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bits / rate));
}

LineClock::Clock::time_point LineClock::Carry(Clock::time_point at, double rate, int bits) {
  free_at_ = std::max(at, free_at_) + ByteTime(rate, bits);
  return free_at_;
}

}  // namespace fw::sim
