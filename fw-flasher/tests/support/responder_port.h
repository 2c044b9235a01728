// A scripted port that answers the flasher's packets like a chip, as the test
// says: it takes the host's packets apart (checking their framing and checksum),
// keeps their payloads, and queues the reply the test's answer function gives,
// framed as the chip frames it. Written from the packet layout, without the
// link's own framing code, so that a shared mistake cannot hide.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/scripted_port.h"

namespace fw::test {

using Bytes = std::vector<std::uint8_t>;

// A chip-to-host packet around the payload.
inline Bytes ChipPacket(const Bytes& payload, bool wide) {
  const int n = static_cast<int>(payload.size());
  Bytes packet = {0x46, 0xB9, 0x68, 0x00, static_cast<std::uint8_t>(n + (wide ? 6 : 5))};
  packet.insert(packet.end(), payload.begin(), payload.end());
  unsigned sum = 0;
  for (std::size_t i = 2; i < packet.size(); ++i) sum += packet[i];
  if (wide) packet.push_back(static_cast<std::uint8_t>(sum >> 8));
  packet.push_back(static_cast<std::uint8_t>(sum));
  packet.push_back(0x16);
  return packet;
}

class ResponderPort : public ScriptedPort {
 public:
  // The reply payload to a host packet's payload; nullopt: the chip stays silent.
  using Answer = std::function<std::optional<Bytes>(const Bytes& payload)>;

  Answer answer = [](const Bytes&) { return std::nullopt; };
  bool wide = true;  // 16-bit checksums both ways

  // Host packets in order, and bytes that were no packet (sync bytes).
  std::vector<Bytes> payloads;
  Bytes loose_bytes;
  int bad_packets = 0;

  int Write(const std::uint8_t* buffer, int n) override {
    ScriptedPort::Write(buffer, n);
    pending_.insert(pending_.end(), buffer, buffer + n);
    TakePackets();
    return n;
  }

 private:
  void TakePackets() {
    for (;;) {
      while (!pending_.empty() && pending_.front() != 0x46) {
        loose_bytes.push_back(pending_.front());
        pending_.pop_front();
      }
      if (pending_.size() < 5) return;
      const int length = pending_[4];
      const std::size_t total = static_cast<std::size_t>(length) + 2;
      if (pending_.size() < total) return;
      const Bytes packet(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(total));
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(total));
      const int trailer = wide ? 3 : 2;
      const int n = length + 2 - 5 - trailer;
      unsigned sum = 0;
      for (int i = 2; i < 5 + n; ++i) sum += packet[static_cast<std::size_t>(i)];
      const bool sum_ok = wide ? packet[5 + n] == static_cast<std::uint8_t>(sum >> 8) &&
                                     packet[6 + n] == static_cast<std::uint8_t>(sum)
                               : packet[5 + n] == static_cast<std::uint8_t>(sum);
      if (n < 0 || packet[1] != 0xB9 || packet[2] != 0x6A || packet[3] != 0x00 ||
          packet.back() != 0x16 || !sum_ok) {
        ++bad_packets;
        continue;
      }
      const Bytes payload(packet.begin() + 5, packet.begin() + 5 + n);
      payloads.push_back(payload);
      if (const std::optional<Bytes> reply = answer(payload)) Arrive(ChipPacket(*reply, wide));
    }
  }

  std::deque<std::uint8_t> pending_;
};

}  // namespace fw::test
