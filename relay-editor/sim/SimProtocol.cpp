#include "sim/SimProtocol.h"

#include <algorithm>

namespace relay::sim {

std::uint8_t SumByte(const std::uint8_t* data, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += data[i];
  return static_cast<std::uint8_t>(sum & 0xFF);
}

void DropFrameStart(std::vector<std::uint8_t>& buffer) {
  if (!buffer.empty()) buffer.erase(buffer.begin());
}

TScan TakeRequest(std::vector<std::uint8_t>& buffer, TRequest& request) {
  for (;;) {
    auto start = std::find(buffer.begin(), buffer.end(), kStartByte);
    buffer.erase(buffer.begin(), start);
    if (buffer.empty()) return TScan::Empty;
    if (buffer.size() < 3) return TScan::NeedMore;
    const std::size_t length = buffer[2];
    if (length < 2) {  // too short for command and block
      DropFrameStart(buffer);
      continue;
    }
    const std::size_t frameSize = length + 3;
    if (buffer.size() < frameSize) return TScan::NeedMore;
    const std::uint8_t last = buffer[frameSize - 1];
    const bool sumOk = SumByte(buffer.data(), frameSize - 1) == last;
    const bool erase = length == 6 && buffer[3] == kCommandWrite && buffer[4] == 0 && last == 0x28;
    if (!sumOk && !erase) {
      DropFrameStart(buffer);
      continue;
    }
    request.address = buffer[1];
    request.command = buffer[3];
    request.block = buffer[4];
    request.data.assign(buffer.begin() + 5, buffer.begin() + static_cast<long>(frameSize) - 1);
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<long>(frameSize));
    return TScan::Frame;
  }
}

std::vector<std::uint8_t> ReadAnswer(std::uint8_t address, std::uint8_t block,
                                     const std::uint8_t* data16) {
  std::vector<std::uint8_t> f = {kStartByte, address, 0x13, kCommandRead, block};
  f.insert(f.end(), data16, data16 + kBlockSize);
  f.push_back(SumByte(f.data(), f.size()));
  return f;
}

std::vector<std::uint8_t> Acknowledgement(std::uint8_t address, std::uint8_t block) {
  std::vector<std::uint8_t> f = {kStartByte, address, 0x06, kCommandWrite, block, 0, 0, 0};
  f.push_back(SumByte(f.data(), f.size()));
  return f;
}

}  // namespace relay::sim
