#include "target/chips/chip_csv.h"

#include <bit>
#include <charconv>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>

#include "target/chips/chip_table.h"

namespace fw {
namespace {

enum class Kind { kText, kDecimal, kHex };

struct Column {
  const char* name;
  Kind kind;
  std::uint64_t max;
};

// Columns in the order of the values below; the flag columns take any 32-bit
// number here, PackChipFlags refuses what does not fit.
enum ColumnIndex {
  kName,
  kFamily,
  kProtocolVariant,
  kBaudGenerator,
  kId,
  kAltId,
  kCodeSize,
  kDataSize,
  kReserved,
  kTotalSize,
  kTailReserve,
  kSubModel,
  kHighVoltage,
  kIceCapable,
  kOptionsNeedCapableFirmware,
  kOptionBlockHeaderFlow,
  kUnread,
  kColumnCount,
};

constexpr std::uint64_t k8 = 0xFF;
constexpr std::uint64_t k16 = 0xFFFF;
constexpr std::uint64_t k32 = 0xFFFFFFFF;
constexpr Column kColumns[kColumnCount] = {
    {"name", Kind::kText, 0},
    {"family", Kind::kDecimal, k32},
    {"protocol_variant", Kind::kDecimal, k32},
    {"baud_generator", Kind::kDecimal, k32},
    {"id", Kind::kHex, k16},
    {"alt_id", Kind::kHex, k16},
    {"code_size", Kind::kDecimal, k32},
    {"data_size", Kind::kDecimal, k32},
    {"reserved", Kind::kDecimal, k32},
    {"total_size", Kind::kDecimal, k32},
    {"tail_reserve", Kind::kDecimal, k8},
    {"sub_model", Kind::kDecimal, k8},
    {"high_voltage", Kind::kDecimal, k32},
    {"ice_capable", Kind::kDecimal, k32},
    {"options_need_capable_firmware", Kind::kDecimal, k32},
    {"option_block_header_flow", Kind::kDecimal, k32},
    {"unread", Kind::kDecimal, k32},
};

constexpr std::size_t kMaxNameLength = 31;

std::vector<std::string_view> SplitCells(std::string_view line) {
  std::vector<std::string_view> cells;
  while (true) {
    const std::size_t comma = line.find(',');
    cells.push_back(line.substr(0, comma));
    if (comma == std::string_view::npos) return cells;
    line.remove_prefix(comma + 1);
  }
}

std::optional<std::uint64_t> ParseNumber(std::string_view text, const Column& column) {
  int base = 10;
  if (column.kind == Kind::kHex) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return {};
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
  if (value > column.max) return {};
  return value;
}

std::string CheckName(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > kMaxNameLength) return "the name is longer than 31 characters";
  for (const char c : name) {
    if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
      return "the name holds '\"', '\\' or a character that is not printable ASCII";
    }
  }
  return {};
}

std::string LineError(int line_no, const std::string& why) {
  return "line " + std::to_string(line_no) + ": " + why;
}

// The column of each header cell; an error text when a name is unknown,
// doubled or missing.
std::variant<std::vector<ColumnIndex>, std::string> ReadHeader(std::string_view line) {
  std::vector<ColumnIndex> order;
  std::set<int> seen;
  for (const std::string_view cell : SplitCells(line)) {
    int found = -1;
    for (int c = 0; c < kColumnCount; ++c) {
      if (cell == kColumns[c].name) found = c;
    }
    if (found < 0) return "unknown column \"" + std::string(cell) + "\"";
    if (!seen.insert(found).second) return "column " + std::string(cell) + " named twice";
    order.push_back(static_cast<ColumnIndex>(found));
  }
  for (int c = 0; c < kColumnCount; ++c) {
    if (seen.count(c) == 0) return "no column " + std::string(kColumns[c].name);
  }
  return order;
}

std::variant<ChipCsvRecord, std::string> ReadRow(std::string_view line,
                                                 const std::vector<ColumnIndex>& order) {
  const std::vector<std::string_view> cells = SplitCells(line);
  if (cells.size() != order.size()) {
    return "expected " + std::to_string(order.size()) + " fields, found " +
           std::to_string(cells.size());
  }
  std::string name;
  std::uint64_t v[kColumnCount] = {};
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const Column& column = kColumns[order[i]];
    if (column.kind == Kind::kText) {
      if (std::string why = CheckName(cells[i]); !why.empty()) return why;
      name = cells[i];
      continue;
    }
    const auto value = ParseNumber(cells[i], column);
    if (!value) {
      return std::string(column.name) + " \"" + std::string(cells[i]) + "\" is not a " +
             (column.kind == Kind::kHex ? "0x-prefixed hexadecimal" : "decimal") +
             " number up to " + std::to_string(column.max);
    }
    v[order[i]] = *value;
  }
  ChipFlagColumns f;
  f.family = static_cast<std::uint32_t>(v[kFamily]);
  f.protocol_variant = static_cast<std::uint32_t>(v[kProtocolVariant]);
  f.baud_generator = static_cast<std::uint32_t>(v[kBaudGenerator]);
  f.high_voltage = static_cast<std::uint32_t>(v[kHighVoltage]);
  f.ice_capable = static_cast<std::uint32_t>(v[kIceCapable]);
  f.options_need_capable_firmware = static_cast<std::uint32_t>(v[kOptionsNeedCapableFirmware]);
  f.option_block_header_flow = static_cast<std::uint32_t>(v[kOptionBlockHeaderFlow]);
  f.unread = static_cast<std::uint32_t>(v[kUnread]);
  auto flags = PackChipFlags(f);
  if (auto* why = std::get_if<std::string>(&flags)) return std::move(*why);

  ChipCsvRecord r;
  r.name = std::move(name);
  r.flags = std::get<std::uint32_t>(flags);
  r.id = static_cast<std::uint16_t>(v[kId]);
  r.alt_id = static_cast<std::uint16_t>(v[kAltId]);
  r.code_size = static_cast<std::uint32_t>(v[kCodeSize]);
  r.data_size = static_cast<std::uint32_t>(v[kDataSize]);
  r.reserved = static_cast<std::uint32_t>(v[kReserved]);
  r.total_size = static_cast<std::uint32_t>(v[kTotalSize]);
  r.tail_reserve = static_cast<std::uint8_t>(v[kTailReserve]);
  r.sub_model = static_cast<std::uint8_t>(v[kSubModel]);
  return r;
}

}  // namespace

std::variant<std::uint32_t, std::string> PackChipFlags(const ChipFlagColumns& c) {
  struct Field {
    const char* name;
    std::uint32_t value;
    std::uint32_t mask;  // where the value lies in the flags word
  } const fields[] = {
      {"unread", c.unread, chip_flags::kUnread},
      {"high_voltage", c.high_voltage, chip_flags::kHighVoltage},
      {"option_block_header_flow", c.option_block_header_flow, chip_flags::kOptionBlockBit},
      {"ice_capable", c.ice_capable, chip_flags::kIceCapable},
      {"options_need_capable_firmware", c.options_need_capable_firmware,
       chip_flags::kOptionsNeedCapableFirmware},
      {"protocol_variant", c.protocol_variant, chip_flags::kProtocolVariantMask},
      {"baud_generator", c.baud_generator, chip_flags::kBaudGeneratorMask},
      {"family", c.family, chip_flags::kFamilyMask},
  };
  std::uint32_t flags = 0;
  for (const Field& field : fields) {
    const int shift = std::countr_zero(field.mask);
    const std::uint32_t max = field.mask >> shift;
    if (field.value > max) {
      const int bits = std::popcount(field.mask);
      return std::string(field.name) + " is " + std::to_string(field.value) + ": it does not fit " +
             (bits == 1
                  ? "its bit (0 or 1)"
                  : "its " + std::to_string(bits) + " bits (0 to " + std::to_string(max) + ")");
    }
    flags |= field.value << shift;
  }
  return flags;
}

ChipCsvResult ReadChipCsv(std::istream& in) {
  ChipCsvResult result;
  std::string line;
  int line_no = 0;
  std::optional<std::vector<ColumnIndex>> order;
  std::set<std::string> names;
  while (std::getline(in, line)) {
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!order) {
      // The column header comes first, before any comment.
      auto header = ReadHeader(line);
      if (auto* why = std::get_if<std::string>(&header)) {
        result.error = LineError(line_no, "the column header: " + *why);
        return result;
      }
      order = std::get<std::vector<ColumnIndex>>(std::move(header));
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    auto row = ReadRow(line, *order);
    if (auto* why = std::get_if<std::string>(&row)) {
      result.error = LineError(line_no, *why);
      return result;
    }
    ChipCsvRecord& record = std::get<ChipCsvRecord>(row);
    if (!names.insert(record.name).second) {
      result.error = LineError(line_no, "duplicate name " + record.name);
      return result;
    }
    result.records.push_back(std::move(record));
  }
  if (in.bad())
    result.error = "read error";
  else if (!order)
    result.error = "no column header";
  else if (result.records.empty())
    result.error = "no records";
  return result;
}

std::string ChipTableSource(const std::vector<ChipCsvRecord>& records) {
  std::ostringstream out;
  out << "// Generated from chips.csv; do not edit.\n#include \"target/chips/chip_table.h\"\n\n"
         "namespace fw {\n\n"
      << "extern const ChipRecord kChipRecords[];\nextern const int kChipRecordCount;\n\n"
      << "const ChipRecord kChipRecords[] = {\n";
  for (const ChipCsvRecord& r : records) {
    out << "    {0x" << std::hex << r.flags << std::dec << "u, \"" << r.name << "\", 0x" << std::hex
        << r.id << ", 0x" << r.alt_id << std::dec << ", " << r.code_size << "u, " << r.data_size
        << "u, " << r.reserved << "u, " << r.total_size << "u, " << unsigned{r.tail_reserve} << ", "
        << unsigned{r.sub_model} << "},\n";
  }
  out << "    {0, nullptr, 0, 0, 0, 0, 0, 0, 0, 0},\n};\n\nconst int kChipRecordCount = "
      << records.size() << ";\n\n}  // namespace fw\n";
  return out.str();
}

}  // namespace fw
