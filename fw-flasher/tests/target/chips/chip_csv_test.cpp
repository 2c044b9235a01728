// chips.csv's named columns packed into the chip record's flags word, and the
// rows the build refuses.
#include "target/chips/chip_csv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "tests/support/temp_folder.h"
#include "tests/support/tool_run.h"

namespace fw {
namespace {

const std::string kHeader =
    "name,family,protocol_variant,baud_generator,id,alt_id,code_size,data_size,reserved,"
    "total_size,tail_reserve,sub_model,high_voltage,ice_capable,options_need_capable_firmware,"
    "option_block_header_flow,unread";

// A model of family 1 as the table had it before it had named columns: flags
// 0x00000A13.
const std::string kRow = "QMV01D20003,1,0,2,0x0203,0x0000,20480,1024,0,21504,0,0,1,0,1,0,1";

ChipCsvResult Read(const std::string& text) {
  std::istringstream in(text);
  return ReadChipCsv(in);
}

TEST(ChipCsvTest, ColumnsPackIntoTheFlagsWord) {
  struct Case {
    const char* name;
    ChipFlagColumns columns;
    std::uint32_t flags;
  } const cases[] = {
      {"nothing set", {}, 0x0},
      {"a family 1 model", {1, 0, 2, 1, 0, 1, 0, 1}, 0x00000A13},
      // family 33, protocol 3, generator 1, option_block_header_flow.
      {"a family 33 model", {33, 3, 1, 0, 0, 0, 1, 1}, 0x00010965},
      {"ice capable, protocol 3, generator 1, family 44", {44, 3, 1, 0, 1, 0, 0, 1}, 0x00016169},
      {"every field at its largest", {255, 7, 7, 1, 1, 1, 1, 1}, 0x0007FFFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto packed = PackChipFlags(c.columns);
    ASSERT_TRUE(std::holds_alternative<std::uint32_t>(packed)) << std::get<std::string>(packed);
    EXPECT_EQ(std::get<std::uint32_t>(packed), c.flags)
        << std::hex << std::get<std::uint32_t>(packed);
  }
}

TEST(ChipCsvTest, ValuesThatDoNotFitTheirBitsAreRefused) {
  auto with = [](auto set) {
    ChipFlagColumns c{70, 4, 1, 1, 1, 1, 1, 1};
    set(c);
    return c;
  };
  struct Case {
    ChipFlagColumns columns;
    std::string message;
  } const cases[] = {
      {with([](auto& c) { c.family = 256; }),
       "family is 256: it does not fit its 8 bits (0 to 255)"},
      {with([](auto& c) { c.protocol_variant = 8; }),
       "protocol_variant is 8: it does not fit its 3 bits (0 to 7)"},
      {with([](auto& c) { c.baud_generator = 8; }),
       "baud_generator is 8: it does not fit its 3 bits (0 to 7)"},
      {with([](auto& c) { c.high_voltage = 2; }),
       "high_voltage is 2: it does not fit its bit (0 or 1)"},
      {with([](auto& c) { c.ice_capable = 2; }),
       "ice_capable is 2: it does not fit its bit (0 or 1)"},
      {with([](auto& c) { c.options_need_capable_firmware = 3; }),
       "options_need_capable_firmware is 3: it does not fit its bit (0 or 1)"},
      {with([](auto& c) { c.option_block_header_flow = 2; }),
       "option_block_header_flow is 2: it does not fit its bit (0 or 1)"},
      {with([](auto& c) { c.unread = 0xFFFFFFFF; }),
       "unread is 4294967295: it does not fit its bit (0 or 1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const auto packed = PackChipFlags(c.columns);
    ASSERT_TRUE(std::holds_alternative<std::string>(packed));
    EXPECT_EQ(std::get<std::string>(packed), c.message);
  }
}

TEST(ChipCsvTest, ReadsRecordsWithColumnsInAnyOrder) {
  const auto plain = Read(kHeader + "\r\n# a comment\r\n\r\n" + kRow + "\r\n");
  ASSERT_EQ(plain.error, "");
  ASSERT_EQ(plain.records.size(), 1u);
  const ChipCsvRecord& r = plain.records[0];
  EXPECT_EQ(r.name, "QMV01D20003");
  EXPECT_EQ(r.flags, 0x00000A13u);
  EXPECT_EQ(r.id, 0x0203);
  EXPECT_EQ(r.alt_id, 0);
  EXPECT_EQ(r.code_size, 20480u);
  EXPECT_EQ(r.data_size, 1024u);
  EXPECT_EQ(r.total_size, 21504u);

  // The same record with the flag columns first and the name last.
  const auto moved = Read(
      "unread,option_block_header_flow,options_need_capable_firmware,ice_capable,high_voltage,"
      "sub_model,tail_reserve,total_size,reserved,data_size,code_size,alt_id,id,baud_generator,"
      "protocol_variant,family,name\n"
      "1,0,1,0,1,0,0,21504,0,1024,20480,0x0000,0x0203,2,0,1,QMV01D20003\n");
  ASSERT_EQ(moved.error, "");
  ASSERT_EQ(moved.records.size(), 1u);
  EXPECT_EQ(ChipTableSource(moved.records), ChipTableSource(plain.records));
}

TEST(ChipCsvTest, RowsAndHeadersThatAreRefused) {
  auto row = [](const std::string& cells) { return kHeader + "\n" + kRow + "\n" + cells + "\n"; };
  const std::string header_without_unread = kHeader.substr(0, kHeader.rfind(','));
  struct Case {
    const char* name;
    std::string text;
    std::string error;
  } const cases[] = {
      {"unknown column", "flags," + kHeader + "\n",
       "line 1: the column header: unknown column \"flags\""},
      {"column missing", header_without_unread + "\n",
       "line 1: the column header: no column unread"},
      {"column twice", kHeader + ",family\n",
       "line 1: the column header: column family named twice"},
      {"comment before the header", "# chips\n" + kHeader + "\n",
       "line 1: the column header: unknown column \"# chips\""},
      {"family beyond 8 bits", row("QMV9,256,0,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: family is 256: it does not fit its 8 bits (0 to 255)"},
      {"protocol variant beyond 3 bits",
       row("QMV9,1,8,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: protocol_variant is 8: it does not fit its 3 bits (0 to 7)"},
      {"generator beyond 3 bits", row("QMV9,1,0,9,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: baud_generator is 9: it does not fit its 3 bits (0 to 7)"},
      {"a flag of 2", row("QMV9,1,0,2,0x0300,0x0000,8192,0,0,8192,0,0,0,2,0,0,1"),
       "line 3: ice_capable is 2: it does not fit its bit (0 or 1)"},
      {"family beyond 32 bits",
       row("QMV9,4294967296,0,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: family \"4294967296\" is not a decimal number up to 4294967295"},
      {"negative", row("QMV9,-1,0,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: family \"-1\" is not a decimal number up to 4294967295"},
      {"id beyond 16 bits", row("QMV9,1,0,2,0x10000,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: id \"0x10000\" is not a 0x-prefixed hexadecimal number up to 65535"},
      {"id without 0x", row("QMV9,1,0,2,0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: id \"0300\" is not a 0x-prefixed hexadecimal number up to 65535"},
      {"tail reserve beyond 8 bits", row("QMV9,1,0,2,0x0300,0x0000,8192,0,0,8192,256,0,0,0,0,0,1"),
       "line 3: tail_reserve \"256\" is not a decimal number up to 255"},
      {"size with a blank", row("QMV9,1,0,2,0x0300,0x0000,8192 ,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: code_size \"8192 \" is not a decimal number up to 4294967295"},
      {"empty cell", row("QMV9,1,0,2,0x0300,0x0000,8192,0,0,8192,0,,0,0,0,0,1"),
       "line 3: sub_model \"\" is not a decimal number up to 255"},
      {"a field short", row("QMV9,1,0,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0"),
       "line 3: expected 17 fields, found 16"},
      {"a field over", row("QMV9,1,0,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1,1"),
       "line 3: expected 17 fields, found 18"},
      {"empty name", row(",1,0,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: the name is empty"},
      {"name of 32 characters",
       row(std::string(32, 'Q') + ",1,0,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: the name is longer than 31 characters"},
      {"quote in the name", row("QMV\"9,1,0,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1"),
       "line 3: the name holds '\"', '\\' or a character that is not printable ASCII"},
      {"duplicate name", row(kRow), "line 3: duplicate name QMV01D20003"},
      {"header only", kHeader + "\n# nothing\n", "no records"},
      {"empty file", "", "no column header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto result = Read(c.text);
    EXPECT_EQ(result.error, c.error);
  }
}

TEST(ChipCsvTest, GeneratedSourceOfARecord) {
  const auto result = Read(kHeader + "\n" + kRow + "\n");
  ASSERT_EQ(result.error, "");
  const std::string source = ChipTableSource(result.records);
  EXPECT_NE(
      source.find("    {0xa13u, \"QMV01D20003\", 0x203, 0x0, 20480u, 1024u, 0u, 21504u, 0, 0},\n"
                  "    {0, nullptr, 0, 0, 0, 0, 0, 0, 0, 0},\n};\n"),
      std::string::npos)
      << source;
  EXPECT_NE(source.find("const int kChipRecordCount = 1;"), std::string::npos) << source;
}

// The build tool itself: a row that does not fit stops it, naming file and
// line, and leaves no table behind.
class ChipTableGeneratorTest : public test::TempFolderTest {};

TEST_F(ChipTableGeneratorTest, StopsAtARowThatDoesNotFit) {
  const auto out = dir_ / "out.cpp";
  const auto bad = test::RunTool(
      FW_CHIP_TABLE_GEN,
      Write("chips.csv", kHeader + "\nQMV9,71,8,2,0x0300,0x0000,8192,0,0,8192,0,0,0,0,0,0,1\n"),
      out, dir_);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.errors.find("chips.csv: line 2: protocol_variant is 8"), std::string::npos)
      << bad.errors;
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.cpp.tmp"));

  const auto good =
      test::RunTool(FW_CHIP_TABLE_GEN, Write("chips.csv", kHeader + "\n" + kRow + "\n"), out, dir_);
  EXPECT_EQ(good.status, 0) << good.errors;
  EXPECT_NE(Read(out).find("\"QMV01D20003\""), std::string::npos);
}

}  // namespace
}  // namespace fw
