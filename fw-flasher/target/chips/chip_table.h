// The table of supported chip models, built from chips.csv.
#pragma once

#include <bit>
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

// The flags word, packed by the build from the named columns of chips.csv.
namespace chip_flags {
constexpr std::uint32_t kUnread = 1u << 0;  // "unread": set in most records, read by no step
constexpr std::uint32_t kHighVoltage = 1u << 1;
// "option_block_header_flow": read by the option block, the stand-alone header
// and the serial flow.
constexpr std::uint32_t kOptionBlockBit = 1u << 2;
constexpr std::uint32_t kIceCapable = 1u << 3;
constexpr std::uint32_t kOptionsNeedCapableFirmware = 1u << 4;
constexpr std::uint32_t kProtocolVariantMask = 7u << 5;  // bits 5 to 7
constexpr std::uint32_t kBaudGeneratorMask = 7u << 8;    // bits 8 to 10
constexpr std::uint32_t kFamilyMask = 0xFFu << 11;       // bits 11 to 18: the family code
}  // namespace chip_flags

// Every record including the placeholder record 0, without the end record.
std::span<const ChipRecord> ChipTable();
// The same array followed by its all-zero end record.
const ChipRecord* ChipTableWithEnd();

constexpr int FlagsField(const ChipRecord& r, std::uint32_t mask) {
  return static_cast<int>((r.flags & mask) >> std::countr_zero(mask));
}
constexpr int FamilyCode(const ChipRecord& r) { return FlagsField(r, chip_flags::kFamilyMask); }
constexpr int ProtocolVariant(const ChipRecord& r) {
  return FlagsField(r, chip_flags::kProtocolVariantMask);
}
constexpr int BaudGeneratorVariant(const ChipRecord& r) {
  return FlagsField(r, chip_flags::kBaudGeneratorMask);
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
