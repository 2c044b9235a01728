// Packets built and read by hand, byte by byte as the boot loader's framing
// lays them out, so that the simulator's own framing is checked against them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "sim/chip_models.h"

namespace fw::sim::test {

using Bytes = std::vector<std::uint8_t>;

// 46 B9 6A 00 L payload checksum 16; L counts from 6A through 16.
inline Bytes HostPacket(const Bytes& payload, bool wide) {
  Bytes p = {0x46, 0xB9, 0x6A, 0x00, static_cast<std::uint8_t>(payload.size() + (wide ? 6 : 5))};
  p.insert(p.end(), payload.begin(), payload.end());
  unsigned sum = 0;
  for (std::size_t i = 2; i < p.size(); ++i) sum += p[i];
  if (wide) p.push_back(static_cast<std::uint8_t>(sum >> 8));
  p.push_back(static_cast<std::uint8_t>(sum));
  p.push_back(0x16);
  return p;
}

// The payload of a chip packet 46 B9 68 00 L payload checksum 16 at the start
// of bytes, when it is complete and its checksum right.
inline std::optional<Bytes> ChipPayload(const Bytes& bytes, bool wide) {
  const std::size_t tail = wide ? 3 : 2;
  if (bytes.size() < 5 || bytes[0] != 0x46 || bytes[1] != 0xB9 || bytes[2] != 0x68 ||
      bytes[3] != 0x00) {
    return std::nullopt;
  }
  const std::size_t total = bytes[4] + 2u;
  if (bytes[4] < 3 + tail || bytes.size() < total || bytes[total - 1] != 0x16) return std::nullopt;
  unsigned sum = 0;
  for (std::size_t i = 2; i < total - tail; ++i) sum += bytes[i];
  const bool ok = wide ? bytes[total - 3] == static_cast<std::uint8_t>(sum >> 8) &&
                             bytes[total - 2] == static_cast<std::uint8_t>(sum)
                       : bytes[total - 2] == static_cast<std::uint8_t>(sum);
  if (!ok) return std::nullopt;
  return Bytes(bytes.begin() + 5, bytes.begin() + static_cast<std::ptrdiff_t>(total - tail));
}

inline Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Bytes that differ from their neighbours, for data that must land in place.
inline Bytes Pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

// An option block: FF but for the given bytes.
inline Bytes Block(std::size_t length, const std::map<std::size_t, std::uint8_t>& bytes) {
  Bytes b(length, 0xFF);
  for (const auto& [at, v] : bytes) b[at] = v;
  return b;
}

// The first chip model of a family with sub-model 0, or -1.
inline int ChipOf(int family) {
  const auto models = SimChipModels();
  for (std::size_t i = 1; i < models.size(); ++i) {
    if (models[i].family == family && models[i].sub_model == 0) return static_cast<int>(i);
  }
  return -1;
}

inline const SimChipModel& RecordOf(int index) { return SimChipModelAt(index); }

// Protocol variant 0's check of a new rate: 80 00 00 36 01 and the chip's id.
inline Bytes RateCheck(std::uint16_t id) {
  return {0x80,
          0x00,
          0x00,
          0x36,
          0x01,
          static_cast<std::uint8_t>(id >> 8),
          static_cast<std::uint8_t>(id)};
}

}  // namespace fw::sim::test
