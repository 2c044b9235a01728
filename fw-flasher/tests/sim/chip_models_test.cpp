// The simulator's own chip models: read from chips.csv by its own generator,
// by column name, refusing what a simulated chip could not be.
#include "sim/chip_models.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tests/support/temp_folder.h"
#include "tests/support/tool_run.h"

namespace fw::sim {
namespace {

TEST(SimChipModelsTest, EveryModelOfTheTableInItsOrder) {
  const auto models = SimChipModels();
  ASSERT_EQ(models.size(), 1073u);
  EXPECT_STREQ(models[0].name, "UNKNOWN");
  EXPECT_EQ(models[0].family, 0);
  EXPECT_EQ(models[0].code_size, 0u);
  EXPECT_EQ(SimChipIndex("UNKNOWN"), 0);
  EXPECT_EQ(SimChipIndex(models[700].name), 700);
  EXPECT_EQ(SimChipIndex("QMV-none"), -1);
  EXPECT_EQ(&SimChipModelAt(1072), &models[1072]);
  EXPECT_THROW(SimChipModelAt(1073), std::out_of_range);
  EXPECT_THROW(SimChipModelAt(-1), std::out_of_range);
}

class SimChipModelsGeneratorTest : public test::TempFolderTest {
 protected:
  test::ToolRun Generate(const std::string& csv) {
    return test::RunTool(FW_SIM_CHIP_MODELS_GEN, Write("chips.csv", csv), dir_ / "models.cpp",
                         dir_);
  }
};

// Only the columns a simulated chip needs are read, wherever they stand.
TEST_F(SimChipModelsGeneratorTest, ReadsItsColumnsByName) {
  const auto run = Generate(
      "unread,sub_model,data_size,code_size,alt_id,id,baud_generator,protocol_variant,family,name,"
      "total_size\r\n"
      "# a comment\r\n"
      "1,3,1024,8192,0x0000,0xF55F,1,4,33,QMV33X,9216\r\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(
      Read(dir_ / "models.cpp").find("{\"QMV33X\", 33u, 4u, 1u, 62815u, 0u, 8192u, 1024u, 3u},"),
      std::string::npos)
      << Read(dir_ / "models.cpp");
}

TEST_F(SimChipModelsGeneratorTest, RefusesWhatAChipCannotBe) {
  const std::string header =
      "name,family,protocol_variant,baud_generator,id,alt_id,code_size,data_size,sub_model\n";
  struct Case {
    const char* name;
    std::string csv;
    std::string error;
  } const cases[] = {
      {"a column missing", "name,family,protocol_variant,id,alt_id,code_size,data_size,sub_model\n",
       ":1: no column baud_generator"},
      {"family beyond 255", header + "Q1,256,0,2,0x0001,0x0000,8192,0,0\n",
       ":2: family 256 is not a number up to 255"},
      {"protocol variant beyond 7", header + "Q1,1,8,2,0x0001,0x0000,8192,0,0\n",
       ":2: protocol_variant 8 is not a number up to 7"},
      {"generator beyond 7", header + "Q1,1,0,8,0x0001,0x0000,8192,0,0\n",
       ":2: baud_generator 8 is not a number up to 7"},
      {"id without 0x", header + "Q1,1,0,2,0001,0x0000,8192,0,0\n",
       ":2: id 0001 is not a number up to 65535"},
      {"hexadecimal size", header + "Q1,1,0,2,0x0001,0x0000,2000h,0,0\n",
       ":2: code_size 2000h is not a number up to 4294967295"},
      {"negative size", header + "Q1,1,0,2,0x0001,0x0000,-1,0,0\n",
       ":2: code_size -1 is not a number up to 4294967295"},
      {"a cell short", header + "Q1,1,0,2,0x0001,0x0000,8192,0\n", ":2: 8 cells under 9 columns"},
      {"a cell over", header + "Q1,1,0,2,0x0001,0x0000,8192,0,0,\n",
       ":2: 10 cells under 9 columns"},
      {"quote in the name", header + "Q\"1,1,0,2,0x0001,0x0000,8192,0,0\n",
       ":2: not a model name: Q\"1"},
      {"no models", header, ": no models"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto run = Generate(c.csv);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("chips.csv" + c.error), std::string::npos) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "models.cpp"));
  }
}

}  // namespace
}  // namespace fw::sim
