// The host's end of a simulator's pseudo-terminal, driven by a test with
// packets built by hand.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "tests/sim/hand_packets.h"

namespace fw::sim::test {

class PtyHost {
 public:
  explicit PtyHost(const std::string& path);
  ~PtyHost();
  PtyHost(const PtyHost&) = delete;
  PtyHost& operator=(const PtyHost&) = delete;

  bool ok() const { return fd_ >= 0; }
  // Sets the line's rate, any number of bits per second.
  bool SetRate(int rate);
  void Write(const Bytes& bytes);
  void Send(const Bytes& payload, bool wide) { Write(HostPacket(payload, wide)); }
  // The next chip packet's payload, or nullopt when none came in time.
  std::optional<Bytes> Receive(bool wide, std::chrono::milliseconds within);
  // 0x7F bytes every 10 ms until the chip's status reply, as a flasher does.
  std::optional<Bytes> Synchronise(bool wide, std::chrono::milliseconds within);
  // Whatever arrives in the time, raw.
  Bytes Drain(std::chrono::milliseconds within);

 private:
  bool ReadSome(std::chrono::milliseconds wait);
  std::optional<Bytes> TakePacket(bool wide);

  int fd_ = -1;
  Bytes pending_;
};

}  // namespace fw::sim::test
