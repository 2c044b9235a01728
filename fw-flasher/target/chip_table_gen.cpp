// Build tool: turns chips.csv into the constant ChipRecord array.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* kHeader =
    "name,flags,id,alt_id,code_size,data_size,reserved,total_size,tail_reserve,sub_model";

bool ParseNumber(const std::string& text, bool hex, unsigned long long max,
                 unsigned long long& out) {
  if (text.empty()) return false;
  std::size_t pos = 0;
  if (hex) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    pos = 2;
  }
  for (std::size_t i = pos; i < text.size(); ++i) {
    char c = text[i];
    bool ok = hex ? std::isxdigit(static_cast<unsigned char>(c))
                  : std::isdigit(static_cast<unsigned char>(c));
    if (!ok) return false;
  }
  out = std::strtoull(text.c_str() + pos, nullptr, hex ? 16 : 10);
  return out <= max;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: chip_table_gen chips.csv out.cpp\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << argv[1] << ": cannot open\n";
    return 1;
  }
  std::string line;
  bool header_seen = false;
  int line_no = 0;
  std::vector<std::string> rows;
  std::set<std::string> names;
  while (std::getline(in, line)) {
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!header_seen) {
      // The column header comes first, before any comment.
      if (line != kHeader) {
        std::cerr << argv[1] << ":" << line_no << ": first line must be the column header\n";
        return 1;
      }
      header_seen = true;
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, ',')) f.push_back(cell);
    if (f.size() != 10) {
      std::cerr << argv[1] << ":" << line_no << ": expected 10 fields\n";
      return 1;
    }
    const std::string& name = f[0];
    if (name.empty() || name.size() > 31 || name.find_first_of("\"\\") != std::string::npos) {
      std::cerr << argv[1] << ":" << line_no << ": bad name\n";
      return 1;
    }
    if (!names.insert(name).second) {
      std::cerr << argv[1] << ":" << line_no << ": duplicate name " << name << "\n";
      return 1;
    }
    unsigned long long v[10] = {};
    const bool hex[10] = {false, true, true, true, false, false, false, false, false, false};
    const unsigned long long max[10] = {0,          0xFFFFFFFF, 0xFFFF,     0xFFFF, 0xFFFFFFFF,
                                        0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF,   0xFF};
    for (int i = 1; i < 10; ++i) {
      if (!ParseNumber(f[i], hex[i], max[i], v[i])) {
        std::cerr << argv[1] << ":" << line_no << ": bad value in field " << i + 1 << "\n";
        return 1;
      }
    }
    std::ostringstream row;
    row << "    {0x" << std::hex << v[1] << std::dec << "u, \"" << name << "\", 0x" << std::hex
        << v[2] << ", 0x" << v[3] << std::dec << ", " << v[4] << "u, " << v[5] << "u, " << v[6]
        << "u, " << v[7] << "u, " << v[8] << ", " << v[9] << "},\n";
    rows.push_back(row.str());
  }
  if (!header_seen || rows.empty()) {
    std::cerr << argv[1] << ": no records\n";
    return 1;
  }
  std::ofstream out(argv[2]);
  out << "// Generated from chips.csv; do not edit.\n#include \"target/chip_table.h\"\n\nnamespace "
         "fw "
         "{\n\n"
      << "extern const ChipRecord kChipRecords[];\nextern const int kChipRecordCount;\n\n"
      << "const ChipRecord kChipRecords[] = {\n";
  for (const auto& r : rows) out << r;
  out << "    {0, nullptr, 0, 0, 0, 0, 0, 0, 0, 0},\n};\n\nconst int kChipRecordCount = "
      << rows.size() << ";\n\n}  // namespace fw\n";
  return out ? 0 : 1;
}
