#include "sim/erase_commands.h"

#include "sim/sim_flash.h"
#include "sim/sim_text.h"

namespace fw::sim {
namespace {

constexpr std::uint8_t kSectorErase = 0x84;
constexpr std::uint8_t kAreaErase = 0x03;
constexpr std::uint8_t kFiller = 0x33;  // the six bytes after the sector count
constexpr std::uint8_t kCountdownStart = 0x80;
constexpr std::size_t kZeroRun = 11;  // zero bytes between the sizes and the countdown

std::uint32_t Bytes24(std::span<const std::uint8_t> p, std::size_t at) {
  return static_cast<std::uint32_t>(p[at] << 16 | p[at + 1] << 8 | p[at + 2]);
}

// 84 m S S S Q Q Q, eleven zeros, then a countdown from 0x80 to the end.
bool CheckSizedLayout(const ChipTraits& chip, std::span<const std::uint8_t> p, std::size_t length,
                      std::uint8_t mode, std::string& why) {
  if (p.size() != length) {
    return Refusal(why, "the 84 erase has " + std::to_string(p.size()) +
                            " bytes, this chip takes " + std::to_string(length));
  }
  if (p[1] != mode) return Refusal(why, "byte 1 of the 84 erase is wrong for this chip");
  if (Bytes24(p, 5) != chip.code_size) {
    return Refusal(why, "the 84 erase names a code size of " + std::to_string(Bytes24(p, 5)) +
                            ", the chip has " + std::to_string(chip.code_size));
  }
  for (std::size_t i = 8; i < 8 + kZeroRun; ++i) {
    if (p[i] != 0) return Refusal(why, "byte " + std::to_string(i) + " of the 84 erase is not 00");
  }
  for (std::size_t i = 8 + kZeroRun; i < length; ++i) {
    if (p[i] != kCountdownStart - (i - 8 - kZeroRun)) {
      return Refusal(why, "the countdown of the 84 erase is broken at byte " + std::to_string(i));
    }
  }
  return true;
}

std::optional<EraseRange> AreaErase(const ChipTraits& chip, std::span<const std::uint8_t> p,
                                    std::string& why) {
  const std::size_t length = chip.fw72() ? 5 : 2;
  if (p.size() != length || p[0] != kAreaErase) {
    why = "this chip erases with 03 N" + std::string(chip.fw72() ? " 00 g1 g2" : "");
    return std::nullopt;
  }
  if (chip.fw72() && (p[2] != 0x00 || p[3] != chip.guard1 || p[4] != chip.guard2)) {
    why = "the 03 erase does not carry 00 and the chip's guard bytes";
    return std::nullopt;
  }
  // The whole code area, and N sectors of what lies above it.
  return EraseRange{0, chip.code_size + std::uint64_t{p[1]} * SimFlash::kSectorSize};
}

}  // namespace

std::optional<EraseRange> DecodeErase(const ChipTraits& chip, std::span<const std::uint8_t> p,
                                      std::string& why) {
  if (p.empty()) return std::nullopt;
  const int f = chip.family;
  if (chip.fw72()) return AreaErase(chip, p, why);
  if (FamilyIn(f, 1, 6) || f == 15 || f == 16) {
    if (p.size() != 8 || p[0] != kSectorErase) {
      why = "this chip erases with 84 N 33 33 33 33 33 33";
      return std::nullopt;
    }
    for (std::size_t i = 2; i < 8; ++i) {
      if (p[i] != kFiller) {
        why = "byte " + std::to_string(i) + " of the 84 erase is not 33";
        return std::nullopt;
      }
    }
    return EraseRange{0, std::uint64_t{p[1]} * SimFlash::kSectorSize};
  }
  if (FamilyIn(f, 7, 14) || FamilyIn(f, 17, 24)) {
    if (p[0] != kSectorErase || !CheckSizedLayout(chip, p, 134, 0x00, why)) return std::nullopt;
    const std::uint32_t size = Bytes24(p, 2);
    if (size < chip.code_size || (size != chip.code_size && size % SimFlash::kSectorSize != 0)) {
      why = "erase size " + std::to_string(size) +
            " is neither the code size nor whole sectors above it";
      return std::nullopt;
    }
    return EraseRange{0, size};
  }
  if ((f == 25 || f == 28) && chip.fw < 0x71) {
    if (p[0] != kSectorErase || !CheckSizedLayout(chip, p, 53, 0xFF, why)) return std::nullopt;
    return EraseRange{0, Bytes24(p, 2)};
  }
  return AreaErase(chip, p, why);
}

}  // namespace fw::sim
