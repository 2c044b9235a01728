// How a flasher carries its project: the stored (scrambled) block is appended to
// the program's own file and followed by a fixed trailer.
//
//   ... program ... | stored block | magic (8) | block length (u32 LE) | CRC-32 of the block (u32
//   LE)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw {

namespace project_trailer {
inline constexpr std::array<std::uint8_t, 8> kMagic = {'F', 'W', 'P', 'R', 'O', 'J', 0x1A, 0x01};
constexpr std::size_t kLengthOffset = 8;
constexpr std::size_t kCrcOffset = 12;
constexpr std::size_t kSize = 16;
// No project comes near this; a larger length is a damaged trailer.
constexpr std::uint32_t kMaxBlockSize = 16u << 20;
}  // namespace project_trailer

struct ProjectTrailer {
  std::uint32_t block_length = 0;
  std::uint32_t block_crc = 0;
};

std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

// The trailer when the last 16 bytes of `file_end` are one (magic only; the
// length and CRC are the caller's to check).
std::optional<ProjectTrailer> FindTrailer(std::span<const std::uint8_t> file_end);

std::array<std::uint8_t, project_trailer::kSize> MakeTrailer(
    std::span<const std::uint8_t> stored_block);

// The program without the block and trailer it carries; the whole file when it
// carries none. Empty optional, with `error` set, for a trailer whose length
// does not fit the file.
std::optional<std::span<const std::uint8_t>> ProgramWithoutProject(
    std::span<const std::uint8_t> file, std::string& error);

// The program followed by the stored block and its trailer.
std::vector<std::uint8_t> AppendProject(std::span<const std::uint8_t> program,
                                        std::span<const std::uint8_t> stored_block);

// Stored form of a container and back: the project's byte-wise scrambling.
std::vector<std::uint8_t> ScrambleContainer(std::span<const std::uint8_t> container);
std::vector<std::uint8_t> UnscrambleContainer(std::span<const std::uint8_t> stored);

}  // namespace fw
