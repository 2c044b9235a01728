// Identification and the choice of download sequence on status replies placed
// in the receive buffer directly.
#include <gtest/gtest.h>

#include <cstring>

#include "isp/download_sequence.h"
#include "isp/handshake.h"
#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"
#include "tests/support/chip_finder.h"
#include "tests/support/string_log.h"

namespace fw {
namespace {

class IdentifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = 0;
  }
  // A reply of n received bytes for the record, as the chip would report it.
  void Reply(int index, int v, int l, int n) {
    const ChipRecord& r = ChipTable()[static_cast<std::size_t>(index)];
    std::memset(link.framing.receive_buffer, 0, sizeof link.framing.receive_buffer);
    link.framing.receive_buffer[17] = static_cast<std::uint8_t>(v);
    link.framing.receive_buffer[18] = static_cast<std::uint8_t>(l);
    link.framing.receive_buffer[19] = r.sub_model;
    link.framing.receive_buffer[20] = static_cast<std::uint8_t>(r.id >> 8);
    link.framing.receive_buffer[21] = static_cast<std::uint8_t>(r.id);
    link.framing.received_length = n;
    link.target.expected_chip_id = r.id;
    std::snprintf(link.target.chip_name, sizeof link.target.chip_name, "%s", r.name);
  }
  bool Logged(const std::string& t) const { return log.text.find(t) != std::string::npos; }

  IspLink link;
  test::StringLog log;
};

TEST_F(IdentifyTest, BuildNumberRules) {
  struct Case {
    const char* name;
    int v, l, n, at, expected;
  } const cases[] = {
      {"7.2: byte 22", 0x72, 'C', 40, 22, 9},
      {"7.1 letter Q+ long: byte 22", 0x71, 'S', 28, 22, 9},
      {"7.1 letter Q+ short: none", 0x71, 'S', 27, 22, 0},
      {"6.6C N 55: byte 52", 0x66, 0x43, 55, 52, 9},
      {"6.6C N 54: none", 0x66, 0x43, 54, 52, 0},
      {"6.6D N 38: byte 35", 0x66, 0x44, 38, 35, 9},
      {"6.6E N 37: none", 0x66, 0x45, 37, 35, 0},
      {"6.7G N 47: byte 43", 0x67, 0x47, 47, 43, 9},
      {"6.6H N 46: none", 0x66, 0x48, 46, 43, 0},
      {"7.1I N 56: byte 52", 0x71, 0x49, 56, 52, 9},
      {"7.0I N 56: none", 0x70, 0x49, 56, 52, 0},
      {"6.5C: none", 0x65, 0x43, 60, 52, 0},
  };
  const int index = test::FirstChipOf(53);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log.text.clear();
    Reply(index, c.v, c.l, c.n);
    link.framing.receive_buffer[c.at] = 9;
    ASSERT_EQ(IdentifyTarget(link), kStepOk);
    EXPECT_EQ(link.target.fw_build, c.expected);
    const int major = (c.v >> 4) & 15, minor = c.v & 15;
    char line[64];
    if (c.expected != 0)
      std::snprintf(line, sizeof line, "  F/W version: %d.%d.%d%c\r\n", major, minor, c.expected,
                    c.l);
    else
      std::snprintf(line, sizeof line, "  F/W version: %d.%d%c\r\n", major, minor, c.l);
    EXPECT_TRUE(Logged(line)) << log.text;
  }
}

TEST_F(IdentifyTest, Firmware72RaisesLowProtocolVariantsTo5) {
  for (int pv : {0, 1, 2, 3, 4}) {
    SCOPED_TRACE(pv);
    int index = -1;
    for (int f = 1; f <= 70 && index < 0; ++f) index = test::FirstChipOf(f, pv);
    ASSERT_GT(index, 0);
    Reply(index, 0x72, 'C', 62);
    ASSERT_EQ(IdentifyTarget(link), kStepOk);
    EXPECT_EQ(link.target.protocol_variant, pv < 3 ? 5 : pv);
    Reply(index, 0x71, 'C', 62);
    ASSERT_EQ(IdentifyTarget(link), kStepOk);
    EXPECT_EQ(link.target.protocol_variant, pv);
  }
}

TEST_F(IdentifyTest, RecordFieldsAndOptionCapableFirmware) {
  const int index = test::FirstChipOf(25);
  const ChipRecord& r = ChipTable()[static_cast<std::size_t>(index)];
  Reply(index, 0x66, 0x43, 62);
  ASSERT_EQ(IdentifyTarget(link), kStepOk);
  EXPECT_EQ(link.target.chip_index, index);
  EXPECT_EQ(link.target.block_size, 64) << "family 25 uses 64-byte blocks";
  EXPECT_EQ(link.target.baud_generator_variant, BaudGeneratorVariant(r));
  EXPECT_EQ(link.target.option_capable_firmware, 1);
  EXPECT_TRUE(Logged("\r\nCurrent H/W Option:\r\n"));
  EXPECT_EQ(link.target.reply_length_byte, 62);
  // Bytes the family-25 report leaves alone are the reply's.
  EXPECT_EQ(0, std::memcmp(link.target.status_record + 14, link.framing.receive_buffer + 14, 48));

  struct Case {
    int v, l;
    int capable;
  } const cases[] = {{0x66, 0x43, 1}, {0x66, 0x48, 1}, {0x66, 0x49, 0}, {0x65, 0x44, 0},
                     {0x71, 0x49, 1}, {0x71, 0x4C, 1}, {0x71, 0x4D, 0}, {0x72, 0x41, 1}};
  for (const auto& c : cases) {
    Reply(test::FirstChipOf(11), c.v, c.l, 62);
    ASSERT_EQ(IdentifyTarget(link), kStepOk);
    EXPECT_EQ(link.target.option_capable_firmware, c.capable) << std::hex << c.v << " " << c.l;
    EXPECT_EQ(link.target.block_size, 128);
  }
}

TEST_F(IdentifyTest, ShortReplyCarriesNoChipId) {
  Reply(test::FirstChipOf(11), 0x72, 'C', 23);
  EXPECT_EQ(IdentifyTarget(link), kStepRefused);
  EXPECT_EQ(link.target.chip_id, 0xFFFF);
  EXPECT_TRUE(Logged("  Unknown MCU type\r\n"));
  // Through a board the short reply is one byte longer.
  log.text.clear();
  link.board.mode = 1;
  Reply(test::FirstChipOf(11), 0x72, 'C', 23);
  EXPECT_EQ(IdentifyTarget(link), kStepOk) << "23 bytes through a board still carry the id";
  Reply(test::FirstChipOf(11), 0x72, 'C', 24);
  EXPECT_EQ(IdentifyTarget(link), kStepRefused);
}

TEST_F(IdentifyTest, SubModelMustMatch) {
  int index = -1;
  for (std::size_t i = 1; i < ChipTable().size() && index < 0; ++i) {
    if (ChipTable()[i].sub_model == 3) index = static_cast<int>(i);
  }
  ASSERT_GT(index, 0);
  Reply(index, 0x72, 'S', 62);
  EXPECT_EQ(IdentifyTarget(link), kStepOk);
  EXPECT_EQ(link.target.sub_model, 3);
  // Below letter Q the sub-model byte is ignored, and the record wants 3.
  Reply(index, 0x72, 'C', 62);
  EXPECT_EQ(IdentifyTarget(link), kStepRefused);
}

TEST_F(IdentifyTest, WrongChipAndAlternatives) {
  const int index = test::FirstChipOf(45);
  const ChipRecord& r = ChipTable()[static_cast<std::size_t>(index)];
  Reply(index, 0x72, 'C', 62);
  link.target.expected_chip_id = r.id + 1;
  std::snprintf(link.target.chip_name, sizeof link.target.chip_name, "expected");
  EXPECT_EQ(IdentifyTarget(link), kStepWrongChip);
  EXPECT_TRUE(Logged("MCU type is incorrect .\r\n"));
  EXPECT_STREQ(link.target.chip_name, r.name) << "the table's name replaces the expected one";

  // One of the first eight alternatives lets it pass; the ninth does not count.
  Reply(index, 0x72, 'C', 62);
  link.target.expected_chip_id = r.id + 1;
  link.target.alternative_ids[7] = r.id;
  EXPECT_EQ(IdentifyTarget(link), kStepOk);
  Reply(index, 0x72, 'C', 62);
  link.target.expected_chip_id = r.id + 1;
  link.target.alternative_ids[7] = 0;
  link.target.alternative_ids[8] = r.id;
  EXPECT_EQ(IdentifyTarget(link), kStepWrongChip);
}

TEST_F(IdentifyTest, AlternateIdOfARecordMatchesIt) {
  int index = -1;
  for (std::size_t i = 1; i < ChipTable().size() && index < 0; ++i) {
    if (ChipTable()[i].alt_id != 0) index = static_cast<int>(i);
  }
  const ChipRecord& r = ChipTable()[static_cast<std::size_t>(index)];
  Reply(index, 0x72, 'C', 62);
  link.framing.receive_buffer[20] = static_cast<std::uint8_t>(r.alt_id >> 8);
  link.framing.receive_buffer[21] = static_cast<std::uint8_t>(r.alt_id);
  EXPECT_EQ(IdentifyTarget(link), kStepOk);
  EXPECT_EQ(link.target.chip_id, r.id) << "the record's first id is kept";
}

TEST_F(IdentifyTest, QuietSkipsTheInformationLines) {
  Reply(test::FirstChipOf(45), 0x72, 'C', 62);
  link.request.quiet_information = 1;
  EXPECT_EQ(IdentifyTarget(link), kStepOk);
  EXPECT_EQ(log.text, "\r\n");
}

TEST(DownloadSequenceTest, ByFamilyAndVersion) {
  using S = DownloadSequence;
  struct Case {
    int f, v;
    S expected;
  } const cases[] = {
      {1, 0x66, S::kClassic},  {2, 0x65, S::kRefused},  {7, 0x50, S::kClassic},
      {8, 0x4F, S::kRefused},  {9, 0x58, S::kClassic},  {9, 0x57, S::kRefused},
      {3, 0x10, S::kClassic},  {6, 0x72, S::kClassic},  {10, 0x00, S::kClassic},
      {24, 0x72, S::kClassic}, {25, 0x70, S::kClassic}, {28, 0x71, S::kNewer},
      {25, 0x72, S::kNewer},   {0, 0x00, S::kNewer},    {26, 0x50, S::kNewer},
      {27, 0x60, S::kNewer},   {29, 0x72, S::kNewer},   {70, 0x72, S::kNewer},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ChooseDownloadSequence(c.f, c.v), c.expected) << c.f << " " << c.v;

  IspLink link;
  test::StringLog log;
  link.outputs.echo = nullptr;
  link.outputs.log_sink = &log;
  link.request.language = 0;
  link.target.chip_index = test::FirstChipOf(9);
  link.target.fw_version = 0x57;
  EXPECT_EQ(SelectDownloadSequence(link), S::kRefused);
  EXPECT_EQ(log.text, "This version of the chip is not supported now .\r\n");
  log.text.clear();
  link.target.fw_version = 0x58;
  EXPECT_EQ(SelectDownloadSequence(link), S::kClassic);
  EXPECT_EQ(log.text, "");
}

}  // namespace
}  // namespace fw
