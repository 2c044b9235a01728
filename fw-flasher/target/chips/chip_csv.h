// chips.csv read into chip records, for the build tool that generates the
// chip table: named columns in, the record's packed flags word out.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <variant>
#include <vector>

namespace fw {

// The columns that share the record's flags word, as chips.csv gives them.
struct ChipFlagColumns {
  std::uint32_t family = 0;
  std::uint32_t protocol_variant = 0;
  std::uint32_t baud_generator = 0;
  std::uint32_t high_voltage = 0;
  std::uint32_t ice_capable = 0;
  std::uint32_t options_need_capable_firmware = 0;
  std::uint32_t option_block_header_flow = 0;
  std::uint32_t unread = 0;
};

// The flags word, or why a value does not fit its bits.
std::variant<std::uint32_t, std::string> PackChipFlags(const ChipFlagColumns& columns);

// One row of chips.csv as the generated table holds it.
struct ChipCsvRecord {
  std::string name;
  std::uint32_t flags = 0;
  std::uint16_t id = 0;
  std::uint16_t alt_id = 0;
  std::uint32_t code_size = 0;
  std::uint32_t data_size = 0;
  std::uint32_t reserved = 0;
  std::uint32_t total_size = 0;
  std::uint8_t tail_reserve = 0;
  std::uint8_t sub_model = 0;
};

struct ChipCsvResult {
  std::vector<ChipCsvRecord> records;
  std::string error;  // "line N: ..." for the first row refused; empty when all were read
};

// The header line names every column once, in any order; then one record a
// line. Empty lines and lines starting with '#' are skipped.
ChipCsvResult ReadChipCsv(std::istream& in);

// The C++ source of the constant ChipRecord array and its count.
std::string ChipTableSource(const std::vector<ChipCsvRecord>& records);

}  // namespace fw
