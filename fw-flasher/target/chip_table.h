// The table of supported chip models, built from chips.csv.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace fw {

struct ChipRecord {
  std::uint32_t flags;
  const char* name;  // null in the end record
  std::uint16_t id;
  std::uint16_t alt_id;
  std::uint32_t code_size;
  std::uint32_t data_size;
  std::uint32_t reserved;
  std::uint32_t total_size;
  std::uint8_t tail_reserve;
  std::uint8_t sub_model;
};

namespace chip_flags {
constexpr std::uint32_t kHighVoltage = 1u << 1;
constexpr std::uint32_t kOptionBlockBit = 1u << 2;
constexpr std::uint32_t kIceCapable = 1u << 3;
constexpr std::uint32_t kOptionsNeedCapableFirmware = 1u << 4;
constexpr std::uint32_t kFamilyMask = 0xFFu << 11;  // bits 11 to 18: the family code
}  // namespace chip_flags

// Every record including the placeholder record 0, without the end record.
std::span<const ChipRecord> ChipTable();
// The same array followed by its all-zero end record.
const ChipRecord* ChipTableWithEnd();

constexpr int FamilyCode(const ChipRecord& r) { return static_cast<int>((r.flags >> 11) & 0xFF); }
constexpr int ProtocolVariant(const ChipRecord& r) { return static_cast<int>((r.flags >> 5) & 7); }
constexpr int BaudGeneratorVariant(const ChipRecord& r) {
  return static_cast<int>((r.flags >> 8) & 7);
}
constexpr bool IsHighVoltage(const ChipRecord& r) {
  return (r.flags & chip_flags::kHighVoltage) != 0;
}

// Index of the record with this name (exact), or -1.
int FindChipByName(std::string_view name);

// Index of the first record of `table`, from record 0 up, whose id or alternate
// id is chip_id and whose sub-model is sub_model; -1 when none is.
int FindChipByIdentity(int chip_id, int sub_model, std::span<const ChipRecord> table = ChipTable());

}  // namespace fw
