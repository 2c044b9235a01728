// Build tool of the simulator: reads the chip models out of chips.csv by
// column name and writes them as the simulator's own constant table. Written
// apart from the flasher's table generator; only the columns the simulated
// chip needs are read, every other column is passed over.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Wanted {
  const char* column;
  int base;  // 0: the text of the name
  unsigned long max;
};

// In the order of SimChipModel's fields.
const Wanted kWanted[] = {
    {"name", 0, 0},
    {"family", 10, 255},
    {"protocol_variant", 10, 7},
    {"baud_generator", 10, 7},
    {"id", 16, 0xFFFF},
    {"alt_id", 16, 0xFFFF},
    {"code_size", 10, 0xFFFFFFFF},
    {"data_size", 10, 0xFFFFFFFF},
    {"sub_model", 10, 255},
};

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, ',')) cells.push_back(cell);
  if (!line.empty() && line.back() == ',') cells.emplace_back();
  return cells;
}

bool NameFits(const std::string& name) {
  if (name.empty() || name.size() > 31) return false;
  for (unsigned char c : name) {
    if (c < ' ' || c > '~' || c == '"' || c == '\\') return false;
  }
  return true;
}

// A number of the column's base (hexadecimal with 0x) up to its maximum.
bool ReadNumber(const std::string& text, const Wanted& wanted, unsigned long& value) {
  std::string digits = text;
  if (wanted.base == 16) {
    if (digits.rfind("0x", 0) != 0 && digits.rfind("0X", 0) != 0) return false;
    digits = digits.substr(2);
  }
  if (digits.empty() || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return false;
  }
  if (wanted.base == 10 && digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  value = std::strtoul(digits.c_str(), &end, wanted.base);
  return errno == 0 && *end == '\0' && value <= wanted.max;
}

int Fail(const std::string& where, const std::string& why) {
  std::cerr << where << ": " << why << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: sim_chip_models_gen chips.csv out.cpp\n";
    return 2;
  }
  const std::string csv_path = argv[1];
  std::ifstream csv(csv_path);
  if (!csv) return Fail(csv_path, "cannot open");

  std::string line;
  if (!std::getline(csv, line)) return Fail(csv_path, "empty");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::vector<std::string> header = Cells(line);
  std::map<std::string, std::size_t> position;
  for (std::size_t i = 0; i < header.size(); ++i) position[header[i]] = i;
  std::vector<std::size_t> at;
  for (const Wanted& wanted : kWanted) {
    const auto found = position.find(wanted.column);
    if (found == position.end()) {
      return Fail(csv_path + ":1", std::string("no column ") + wanted.column);
    }
    at.push_back(found->second);
  }

  std::ostringstream rows;
  std::size_t count = 0;
  for (int line_no = 2; std::getline(csv, line); ++line_no) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::string where = csv_path + ":" + std::to_string(line_no);
    const std::vector<std::string> cells = Cells(line);
    if (cells.size() != header.size()) {
      return Fail(where, std::to_string(cells.size()) + " cells under " +
                             std::to_string(header.size()) + " columns");
    }
    rows << "    {";
    for (std::size_t k = 0; k < std::size(kWanted); ++k) {
      const std::string& text = cells[at[k]];
      if (k > 0) rows << ", ";
      if (kWanted[k].base == 0) {
        if (!NameFits(text)) return Fail(where, "not a model name: " + text);
        rows << '"' << text << '"';
        continue;
      }
      unsigned long value = 0;
      if (!ReadNumber(text, kWanted[k], value)) {
        return Fail(where, std::string(kWanted[k].column) + " " + text + " is not a number up to " +
                               std::to_string(kWanted[k].max));
      }
      rows << value << "u";
    }
    rows << "},\n";
    ++count;
  }
  if (csv.bad()) return Fail(csv_path, "read error");
  if (count == 0) return Fail(csv_path, "no models");

  // Whole or not at all, so that a failed build leaves no half table.
  const std::string out_path = argv[2];
  const std::string temp_path = out_path + ".tmp";
  {
    std::ofstream out(temp_path, std::ios::trunc);
    out << "// Generated from chips.csv by the simulator's own reader; do not edit.\n"
           "#include \"sim/chip_models.h\"\n\n"
           "namespace fw::sim {\n\n"
           "extern const SimChipModel kSimChipModels[];\n"
           "extern const std::size_t kSimChipModelCount;\n\n"
           "const SimChipModel kSimChipModels[] = {\n"
        << rows.str() << "};\n\nconst std::size_t kSimChipModelCount = " << count
        << ";\n\n}  // namespace fw::sim\n";
    out.close();
    if (!out) {
      std::remove(temp_path.c_str());
      return Fail(temp_path, "cannot write");
    }
  }
  if (std::rename(temp_path.c_str(), out_path.c_str()) != 0) {
    std::remove(temp_path.c_str());
    return Fail(out_path, "cannot replace");
  }
  return 0;
}
