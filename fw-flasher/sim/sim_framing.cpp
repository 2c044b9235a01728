#include "sim/sim_framing.h"

namespace fw::sim {
namespace {

std::uint32_t Sum(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
  std::uint32_t sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += bytes[i];
  return sum;
}

}  // namespace

std::vector<std::uint8_t> ChipToHostPacket(const std::vector<std::uint8_t>& payload,
                                           bool wide_checksum) {
  std::vector<std::uint8_t> p = {0x46, 0xB9, 0x68, 0x00};
  p.push_back(static_cast<std::uint8_t>(payload.size() + (wide_checksum ? 6 : 5)));
  p.insert(p.end(), payload.begin(), payload.end());
  const std::uint32_t sum = Sum(p, 2, p.size());
  if (wide_checksum) p.push_back(static_cast<std::uint8_t>(sum >> 8));
  p.push_back(static_cast<std::uint8_t>(sum));
  p.push_back(0x16);
  return p;
}

void HostByteParser::Abandon() {
  // Not a packet after all: hand the bytes on one by one, a new start excepted.
  std::vector<std::uint8_t> bytes;
  bytes.swap(frame_);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && bytes[i] == 0x46) {
      for (std::size_t j = i; j < bytes.size(); ++j) Feed(bytes[j]);
      return;
    }
    on_loose_byte_(bytes[i]);
  }
}

void HostByteParser::Feed(std::uint8_t byte) {
  if (frame_.empty()) {
    if (byte == 0x46)
      frame_.push_back(byte);
    else
      on_loose_byte_(byte);
    return;
  }
  frame_.push_back(byte);
  const std::size_t n = frame_.size();
  static constexpr std::uint8_t kHeader[4] = {0x46, 0xB9, 0x6A, 0x00};
  if (n <= 4) {
    if (frame_[n - 1] != kHeader[n - 1]) Abandon();
    return;
  }
  if (n == 5) {
    if (frame_[4] < 5) Abandon();
    return;
  }
  if (n == static_cast<std::size_t>(frame_[4]) + 2) Finish();
}

void HostByteParser::Finish() {
  const std::size_t n = frame_.size();
  bool accepted = false;
  std::vector<std::uint8_t> payload;
  for (int attempt = 0; attempt < 2 && !accepted; ++attempt) {
    const bool wide = (attempt == 0) == prefer_wide_;
    const std::size_t tail = wide ? 3 : 2;
    if (n < 5 + tail || frame_[n - 1] != 0x16) continue;
    const std::size_t end = n - tail;
    const std::uint32_t sum = Sum(frame_, 2, end);
    const bool ok = wide ? (frame_[end] == static_cast<std::uint8_t>(sum >> 8) &&
                            frame_[end + 1] == static_cast<std::uint8_t>(sum))
                         : frame_[end] == static_cast<std::uint8_t>(sum);
    if (ok) {
      accepted = true;
      payload.assign(frame_.begin() + 5, frame_.begin() + static_cast<std::ptrdiff_t>(end));
    }
  }
  if (accepted) {
    frame_.clear();
    on_packet_(payload);
  } else {
    Abandon();
  }
}

}  // namespace fw::sim
