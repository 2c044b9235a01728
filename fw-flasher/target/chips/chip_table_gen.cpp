// Build tool: turns chips.csv into the constant ChipRecord array. A row whose
// values do not fit the record stops the build with the line and the reason.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "target/chips/chip_csv.h"

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
  const fw::ChipCsvResult table = fw::ReadChipCsv(in);
  if (!table.error.empty()) {
    std::cerr << argv[1] << ": " << table.error << "\n";
    return 1;
  }
  // Written whole or not at all: a stopped build leaves no half table behind.
  const std::filesystem::path out_path = argv[2];
  std::filesystem::path temp_path = out_path;
  temp_path += ".tmp";
  std::error_code error;
  {
    std::ofstream out(temp_path, std::ios::binary | std::ios::trunc);
    out << fw::ChipTableSource(table.records);
    out.close();
    if (!out) {
      std::cerr << temp_path.string() << ": cannot write\n";
      std::filesystem::remove(temp_path, error);
      return 1;
    }
  }
  std::filesystem::rename(temp_path, out_path, error);
  if (error) {
    std::cerr << out_path.string() << ": " << error.message() << "\n";
    std::filesystem::remove(temp_path, error);
    return 1;
  }
  return 0;
}
