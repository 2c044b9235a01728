#include "sim/sim_flash.h"

#include <algorithm>

namespace fw::sim {

SimFlash::SimFlash(std::uint32_t code_size, std::uint32_t data_size, std::uint8_t old_content)
    : code_size_(code_size), bytes_(static_cast<std::size_t>(code_size) + data_size, old_content) {}

bool SimFlash::Erase(std::uint64_t from, std::uint64_t length) {
  if (length == 0) return true;
  const std::uint64_t first = from / kSectorSize * kSectorSize;
  const std::uint64_t end = (from + length + kSectorSize - 1) / kSectorSize * kSectorSize;
  const std::uint64_t size = bytes_.size();
  // The array's last sector may be cut short by its end.
  const std::uint64_t whole_sectors = (size + kSectorSize - 1) / kSectorSize * kSectorSize;
  if (from > whole_sectors || length > whole_sectors - from) return false;
  std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(first),
            bytes_.begin() + static_cast<std::ptrdiff_t>(std::min(end, size)), 0xFF);
  return true;
}

bool SimFlash::Program(std::uint64_t address, std::span<const std::uint8_t> data) {
  if (address > bytes_.size() || data.size() > bytes_.size() - address) return false;
  for (std::size_t i = 0; i < data.size(); ++i) bytes_[address + i] &= data[i];
  return true;
}

std::span<const std::uint8_t> SimFlash::code_area() const {
  return std::span<const std::uint8_t>(bytes_).first(code_size_);
}

std::span<const std::uint8_t> SimFlash::data_area() const {
  return std::span<const std::uint8_t>(bytes_).subspan(code_size_);
}

}  // namespace fw::sim
