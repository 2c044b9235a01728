// The simulated chip's flash: the code area followed by the data area. Erasing
// works on whole sectors and sets bytes to FF; programming can only clear bits,
// so bytes that were not erased keep what they held before.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace fw::sim {

class SimFlash {
 public:
  static constexpr std::uint32_t kSectorSize = 512;

  SimFlash(std::uint32_t code_size, std::uint32_t data_size, std::uint8_t old_content);

  std::uint32_t code_size() const { return code_size_; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }

  // Erases every sector that holds a byte of [from, from + length). False, with
  // nothing erased, when the range reaches past the array.
  bool Erase(std::uint64_t from, std::uint64_t length);
  // ANDs the bytes into the flash at address. False, with nothing written, when
  // they reach past the array.
  bool Program(std::uint64_t address, std::span<const std::uint8_t> data);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::span<const std::uint8_t> code_area() const;
  std::span<const std::uint8_t> data_area() const;

 private:
  std::uint32_t code_size_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace fw::sim
