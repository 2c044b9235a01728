// The controller's side of the frame protocol: finding request frames in the received
// bytes and building the answers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace relay::sim {

inline constexpr std::uint8_t kStartByte = 0x24;
inline constexpr std::uint8_t kCommandRead = 0xFE;
inline constexpr std::uint8_t kCommandWrite = 0xFF;  // also erase, with block 0
inline constexpr std::uint8_t kCommandRestart = 0xFD;
inline constexpr std::size_t kSectorSize = 512;
inline constexpr std::size_t kBlockSize = 16;
inline constexpr int kBlockCount = 32;

using TSector = std::array<std::uint8_t, kSectorSize>;

std::uint8_t SumByte(const std::uint8_t* data, std::size_t count);

struct TRequest {
  std::uint8_t address = 0;
  std::uint8_t command = 0;
  std::uint8_t block = 0;
  std::vector<std::uint8_t> data;  // bytes 5 to L+1
};

enum class TScan {
  Frame,     // a frame was taken from the front of the buffer
  NeedMore,  // the frame at the front is not complete yet
  Empty,     // no start byte left
};

// Looks at the buffer from its start: drops bytes before the first start byte and frames
// that fail their check (one start byte at a time, so a frame behind it is still found).
// The erase frame carries the fixed last byte 28 instead of its check byte and is
// accepted with either.
TScan TakeRequest(std::vector<std::uint8_t>& buffer, TRequest& request);

// Drops the start byte of an incomplete frame that will not be completed.
void DropFrameStart(std::vector<std::uint8_t>& buffer);

std::vector<std::uint8_t> ReadAnswer(std::uint8_t address, std::uint8_t block,
                                     const std::uint8_t* data16);
std::vector<std::uint8_t> Acknowledgement(std::uint8_t address, std::uint8_t block);

}  // namespace relay::sim
