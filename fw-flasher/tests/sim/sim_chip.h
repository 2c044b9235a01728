// A simulated chip driven in-process: its memory and one session at a time,
// as a status reply would begin it.
#pragma once

#include <memory>

#include "sim/chip_session.h"
#include "sim/chip_traits.h"
#include "sim/status_reply.h"
#include "tests/sim/hand_packets.h"

namespace fw::sim::test {

constexpr int kHandshakeRate = 2400;
constexpr int kClock = 11059200;

inline SimChipConfig ConfigOf(int family, int fw) {
  SimChipConfig c;
  c.chip_index = ChipOf(family);
  c.fw_version = fw;
  c.frequency = kClock;
  c.handshake_baud = kHandshakeRate;
  return c;
}

class SimChip {
 public:
  SimChip(int family, int fw, SimFaults faults = {}) : SimChip(ConfigOf(family, fw), faults) {}
  SimChip(const SimChipConfig& config, SimFaults faults)
      : config_(config), faults_(std::move(faults)), memory(config_) {
    Resynchronise();
  }

  // A new synchronisation: the chip keeps its memory, the session starts over.
  void Resynchronise(MeasurementModel* model = nullptr, int rate = kHandshakeRate) {
    session = std::make_unique<ChipSession>(config_, memory, faults_, rate, model);
  }
  std::vector<ChipReply> Send(const Bytes& payload) { return session->OnPacket(payload); }
  // The payload of the one reply, empty when the chip says nothing.
  Bytes Ask(const Bytes& payload) {
    const auto replies = Send(payload);
    return replies.empty() ? Bytes{} : replies.front().payload;
  }
  // The status reply the chip would send now.
  Bytes Status() const {
    SimChipConfig reported = config_;
    reported.options = memory.options;
    reported.frequency = memory.clock;
    return BuildStatusPayload(reported, 0x00, true, false, memory.status_bytes);
  }
  const ChipTraits& traits() const { return session->traits(); }
  std::uint32_t code_size() const { return traits().code_size; }
  const std::vector<std::uint8_t>& flash() const { return memory.flash.bytes(); }
  std::vector<std::string> Notes() { return session->TakeNotes(); }

  // The two guard bytes the chip expects, after three other bytes.
  Bytes Guarded(std::initializer_list<std::uint8_t> head) const {
    Bytes p(head);
    p.push_back(traits().guard1);
    p.push_back(traits().guard2);
    return p;
  }

 private:
  SimChipConfig config_;
  SimFaults faults_;

 public:
  ChipMemory memory;
  std::unique_ptr<ChipSession> session;
};

}  // namespace fw::sim::test
