#include "app/project/project_embedding.h"

#include <zlib.h>

#include <algorithm>

#include "target/board/project_scramble.h"

namespace fw {
namespace pt = project_trailer;
namespace {

std::uint32_t ReadLe32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void WriteLe32(std::uint8_t* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as uInt; a block is far below that, but feed it in pieces anyway.
  constexpr std::size_t kPiece = 1u << 30;
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const std::size_t n = std::min(kPiece, bytes.size() - at);
    crc = crc32(crc, bytes.data() + at, static_cast<uInt>(n));
  }
  return static_cast<std::uint32_t>(crc);
}

std::optional<ProjectTrailer> FindTrailer(std::span<const std::uint8_t> file_end) {
  if (file_end.size() < pt::kSize) return std::nullopt;
  const auto trailer = file_end.last(pt::kSize);
  if (!std::equal(pt::kMagic.begin(), pt::kMagic.end(), trailer.begin())) return std::nullopt;
  return ProjectTrailer{ReadLe32(trailer, pt::kLengthOffset), ReadLe32(trailer, pt::kCrcOffset)};
}

std::array<std::uint8_t, pt::kSize> MakeTrailer(std::span<const std::uint8_t> stored_block) {
  std::array<std::uint8_t, pt::kSize> trailer{};
  std::copy(pt::kMagic.begin(), pt::kMagic.end(), trailer.begin());
  WriteLe32(trailer.data() + pt::kLengthOffset, static_cast<std::uint32_t>(stored_block.size()));
  WriteLe32(trailer.data() + pt::kCrcOffset, Crc32(stored_block));
  return trailer;
}

std::optional<std::span<const std::uint8_t>> ProgramWithoutProject(
    std::span<const std::uint8_t> file, std::string& error) {
  const auto trailer = FindTrailer(file);
  if (!trailer) return file;
  const std::uint64_t carried = std::uint64_t{trailer->block_length} + pt::kSize;
  if (trailer->block_length > pt::kMaxBlockSize || carried > file.size()) {
    error = "its project trailer names a block longer than the file";
    return std::nullopt;
  }
  return file.first(file.size() - static_cast<std::size_t>(carried));
}

std::vector<std::uint8_t> AppendProject(std::span<const std::uint8_t> program,
                                        std::span<const std::uint8_t> stored_block) {
  std::vector<std::uint8_t> file(program.begin(), program.end());
  file.insert(file.end(), stored_block.begin(), stored_block.end());
  const auto trailer = MakeTrailer(stored_block);
  file.insert(file.end(), trailer.begin(), trailer.end());
  return file;
}

std::vector<std::uint8_t> ScrambleContainer(std::span<const std::uint8_t> container) {
  std::vector<std::uint8_t> stored(container.begin(), container.end());
  ScrambleProjectBytes(stored.data(), stored.size());
  return stored;
}

std::vector<std::uint8_t> UnscrambleContainer(std::span<const std::uint8_t> stored) {
  std::vector<std::uint8_t> container(stored.begin(), stored.end());
  UnscrambleProjectBytes(container.data(), container.size());
  return container;
}

}  // namespace fw
