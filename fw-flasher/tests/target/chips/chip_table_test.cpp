#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "sim/chip_models.h"
#include "target/chips/chip_table.h"
#include "target/chips/report_options.h"

namespace fw {
namespace {

TEST(ChipTableTest, PlaceholderAndEndRecord) {
  const auto table = ChipTable();
  ASSERT_EQ(table.size(), 1073u);
  const ChipRecord& r0 = table[0];
  EXPECT_STREQ(r0.name, "UNKNOWN");
  EXPECT_EQ(r0.flags, 0u);
  EXPECT_EQ(r0.id, 0);
  EXPECT_EQ(r0.alt_id, 0);
  EXPECT_EQ(
      r0.code_size + r0.data_size + r0.reserved + r0.total_size + r0.tail_reserve + r0.sub_model,
      0u);
  EXPECT_EQ(ChipTableWithEnd()[1073].name, nullptr);
  EXPECT_EQ(ChipTableWithEnd()[1073].flags, 0u);
}

// Every field of every record, the end record included, in one number: a change
// to any value of chips.csv, or to how the build reads it, changes it. Update
// the number only with a deliberate change of the chip data.
std::uint64_t TableFingerprint() {
  std::uint64_t hash = 0xcbf29ce484222325u;  // 64-bit FNV-1a
  auto add = [&hash](std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      hash ^= (value >> (8 * i)) & 0xFF;
      hash *= 0x100000001b3u;
    }
  };
  const ChipRecord* r = ChipTableWithEnd();
  for (std::size_t i = 0; i <= ChipTable().size(); ++i, ++r) {
    add(r->flags, 4);
    for (const char* c = r->name != nullptr ? r->name : ""; *c != 0; ++c) {
      add(static_cast<unsigned char>(*c), 1);
    }
    add(0, 1);
    add(r->id, 2);
    add(r->alt_id, 2);
    add(r->code_size, 4);
    add(r->data_size, 4);
    add(r->reserved, 4);
    add(r->total_size, 4);
    add(r->tail_reserve, 1);
    add(r->sub_model, 1);
  }
  return hash;
}

TEST(ChipTableTest, EveryValueAsBuiltBefore) {
  EXPECT_EQ(TableFingerprint(), 0x351ab713809e545du) << std::hex << TableFingerprint();
}

TEST(ChipTableTest, DataFileStartsWithTheColumnHeader) {
  std::ifstream csv(FW_CHIPS_CSV);
  ASSERT_TRUE(csv.is_open()) << FW_CHIPS_CSV;
  std::string first;
  std::getline(csv, first);
  EXPECT_EQ(first,
            "name,family,protocol_variant,baud_generator,id,alt_id,code_size,data_size,reserved,"
            "total_size,tail_reserve,sub_model,high_voltage,ice_capable,"
            "options_need_capable_firmware,option_block_header_flow,unread");
  std::string second;
  std::getline(csv, second);
  EXPECT_EQ(second.rfind("#", 0), 0u) << "the variant choices are explained at the top";
}

TEST(ChipTableTest, RecordsPerFamily) {
  const std::map<int, int> expected = {
      {0, 1},   {1, 7},   {2, 10},   {3, 14},  {4, 20},   {5, 20},  {6, 1},   {7, 20},  {8, 44},
      {9, 52},  {10, 36}, {11, 136}, {12, 64}, {13, 112}, {14, 42}, {15, 8},  {16, 12}, {19, 6},
      {20, 12}, {21, 18}, {22, 14},  {23, 20}, {24, 12},  {25, 2},  {27, 28}, {28, 6},  {29, 64},
      {30, 8},  {31, 60}, {32, 7},   {33, 10}, {34, 6},   {35, 4},  {36, 6},  {37, 8},  {38, 11},
      {39, 2},  {40, 1},  {41, 2},   {42, 2},  {43, 3},   {44, 6},  {45, 8},  {46, 9},  {47, 9},
      {48, 9},  {49, 9},  {50, 9},   {51, 7},  {52, 7},   {53, 6},  {54, 2},  {55, 5},  {56, 7},
      {57, 7},  {58, 4},  {59, 4},   {60, 7},  {61, 4},   {62, 7},  {63, 7},  {64, 4},  {65, 4},
      {66, 8},  {67, 4},  {68, 4},   {69, 4},  {70, 1}};
  std::map<int, int> counted;
  for (const ChipRecord& r : ChipTable()) ++counted[FamilyCode(r)];
  EXPECT_EQ(counted, expected);
}

TEST(ChipTableTest, FieldCountsOverTheModelRecords) {
  const auto table = ChipTable();
  int with_alt = 0, sub_model_3 = 0, reserved_zero = 0, total_equal = 0;
  std::set<std::string> names;
  std::set<int> ids;
  for (std::size_t i = 1; i < table.size(); ++i) {
    const ChipRecord& r = table[i];
    SCOPED_TRACE(r.name);
    const int f = FamilyCode(r);
    with_alt += r.alt_id != 0;
    sub_model_3 += r.sub_model == 3;
    EXPECT_TRUE(r.sub_model == 0 || r.sub_model == 3);
    reserved_zero += r.reserved == 0;
    total_equal += r.total_size == r.code_size + r.data_size;
    EXPECT_GE(r.total_size, r.code_size + r.data_size);
    EXPECT_EQ(r.tail_reserve, (f >= 15 && f <= 69) ? 7 : 0);
    EXPECT_EQ(r.flags >> 19, 0u);
    EXPECT_GE(f, 1);
    EXPECT_LE(f, 70);
    EXPECT_EQ(std::string(r.name).rfind("QMV", 0), 0u);
    EXPECT_LE(std::string(r.name).size(), 31u);
    EXPECT_TRUE(names.insert(r.name).second) << "duplicate name";
    EXPECT_TRUE(ids.insert(r.id).second) << "duplicate id";
    if (r.alt_id != 0) {
      EXPECT_TRUE(ids.insert(r.alt_id).second) << "alternate id used twice";
    }
    EXPECT_NE(r.id, 0xFFFF);
  }
  EXPECT_EQ(with_alt, 28);
  EXPECT_EQ(sub_model_3, 28);
  EXPECT_EQ(reserved_zero, 993);
  EXPECT_EQ(total_equal, 380);
}

TEST(ChipTableTest, VariantsReachEveryPath) {
  std::set<int> protocol_variants, baud_variants_old, baud_variants_new;
  std::set<DecodingGroup> groups;
  bool f_v4 = false, f_other = false, g_v4 = false, g_other = false, high_voltage = false,
       ice = false, needs_capable = false, f55f = false;
  for (const ChipRecord& r : ChipTable().subspan(1)) {
    const int f = FamilyCode(r);
    const int pv = ProtocolVariant(r);
    protocol_variants.insert(pv);
    (f <= 24 ? baud_variants_old : baud_variants_new).insert(BaudGeneratorVariant(r));
    const DecodingGroup g = GroupOfFamily(f);
    groups.insert(g);
    f_v4 |= g == DecodingGroup::kF && pv == 4;
    f_other |= g == DecodingGroup::kF && pv != 4;
    g_v4 |= g == DecodingGroup::kG && pv == 4;
    g_other |= g == DecodingGroup::kG && pv != 4;
    high_voltage |= IsHighVoltage(r);
    ice |= (r.flags & chip_flags::kIceCapable) != 0;
    needs_capable |= (r.flags & chip_flags::kOptionsNeedCapableFirmware) != 0;
    f55f |= r.id == 0xF55F && g == DecodingGroup::kG;
  }
  EXPECT_EQ(protocol_variants, (std::set<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(baud_variants_old, (std::set<int>{2, 3}));
  EXPECT_EQ(baud_variants_new, (std::set<int>{0, 1}));
  EXPECT_EQ(groups.size(), 12u);
  EXPECT_TRUE(f_v4 && f_other && g_v4 && g_other && high_voltage && ice && needs_capable && f55f);
}

// The simulator reads chips.csv with its own generator: both readings give the
// same models at the same indexes.
TEST(ChipTableTest, TheSimulatorReadsTheSameModels) {
  const auto table = ChipTable();
  const auto models = sim::SimChipModels();
  ASSERT_EQ(models.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const ChipRecord& r = table[i];
    const sim::SimChipModel& m = models[i];
    SCOPED_TRACE(r.name);
    EXPECT_STREQ(m.name, r.name);
    EXPECT_EQ(m.family, FamilyCode(r));
    EXPECT_EQ(m.protocol_variant, ProtocolVariant(r));
    EXPECT_EQ(m.baud_generator, BaudGeneratorVariant(r));
    EXPECT_EQ(m.id, r.id);
    EXPECT_EQ(m.alt_id, r.alt_id);
    EXPECT_EQ(m.code_size, r.code_size);
    EXPECT_EQ(m.data_size, r.data_size);
    EXPECT_EQ(m.sub_model, r.sub_model);
  }
}

TEST(ChipTableTest, FindByName) {
  EXPECT_EQ(FindChipByName("UNKNOWN"), 0);
  const int i = FindChipByName(ChipTable()[500].name);
  EXPECT_EQ(i, 500);
  EXPECT_EQ(FindChipByName("QMV-none"), -1);
}

TEST(DecodingGroupTest, FamilyCodesToGroups) {
  struct Case {
    int family;
    DecodingGroup group;
  } const cases[] = {
      {1, DecodingGroup::kA},  {5, DecodingGroup::kA},  {15, DecodingGroup::kA},
      {16, DecodingGroup::kA}, {6, DecodingGroup::kB},  {7, DecodingGroup::kC},
      {19, DecodingGroup::kC}, {10, DecodingGroup::kD}, {20, DecodingGroup::kD},
      {11, DecodingGroup::kE}, {24, DecodingGroup::kE}, {25, DecodingGroup::kF},
      {28, DecodingGroup::kF}, {26, DecodingGroup::kG}, {43, DecodingGroup::kG},
      {44, DecodingGroup::kH}, {45, DecodingGroup::kI}, {52, DecodingGroup::kI},
      {61, DecodingGroup::kJ}, {70, DecodingGroup::kK}, {0, DecodingGroup::kL},
      {53, DecodingGroup::kL}, {60, DecodingGroup::kL}, {62, DecodingGroup::kL},
      {69, DecodingGroup::kL}, {71, DecodingGroup::kL}, {255, DecodingGroup::kL},
  };
  for (const auto& c : cases) EXPECT_EQ(GroupOfFamily(c.family), c.group) << c.family;
}

}  // namespace
}  // namespace fw
