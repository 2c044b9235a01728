// The code image, the code length and the record list that PrepareImage builds,
// and the length it reports for the erase.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <vector>

#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"
#include "target/chips/code_image.h"
#include "tests/support/chip_finder.h"
#include "tests/support/string_log.h"

namespace fw {
namespace {

using test::FindChip;

using Bytes = std::vector<std::uint8_t>;

class CodeImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = 0;
    // A chip of family 11: code 4 KB and more, no tail reserve, not 25 or 28.
    UseChip(FindChip([](const ChipRecord& r) { return FamilyCode(r) == 11; }));
    link.target.fw_version = 0x71;
    link.image.option_bytes[15] = 0x00;  // no parameter block unless a test asks
  }
  void UseChip(int index) {
    ASSERT_GT(index, 0);
    link.target.chip_index = index;
  }
  const ChipRecord& chip() const {
    return ChipTable()[static_cast<std::size_t>(link.target.chip_index)];
  }
  // A user program of n bytes counting up from 1.
  void Program(int n) {
    for (int i = 0; i < n; ++i)
      link.image.image_source[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
    link.image.image_length = n;
  }
  void Serial(int which, int address, int length, Bytes low_bytes_least_first) {
    SerialNumberPlacement& s = link.placements.serial_numbers[static_cast<std::size_t>(which)];
    s.enabled = true;
    s.address = address;
    s.length = length;
    std::copy(low_bytes_least_first.begin(), low_bytes_least_first.end(), s.value.begin());
  }
  void Reply(int address, int length) {
    UserInterfaceReply& ui = link.placements.user_interface;
    ui.enabled = true;
    ui.address = address;
    ui.reply_length = length;
    for (int i = 0; i < length && i < UserInterfaceReply::kReplyBufferSize; ++i) {
      ui.reply[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xA0 + i);
    }
  }
  void PlaceParameters() { link.image.option_bytes[15] = 0xFF; }
  Bytes Image(int at, int n) const {
    return {link.image.code_image.begin() + at, link.image.code_image.begin() + at + n};
  }
  Bytes Records(int n) const {
    return {link.image.extra_records.begin(), link.image.extra_records.begin() + n};
  }
  void ParameterStatus() {
    for (int k = 0; k < TargetIdentity::kStatusRecordSize; ++k) {
      link.target.status_record[k] = static_cast<std::uint8_t>(0x40 + k);
    }
  }

  IspLink link;
  test::StringLog log;
};

TEST_F(CodeImageTest, SerialNumberDirectAndAsRecord) {
  // Three lowest bytes 0x45, 0x67, 0x89 with the least significant last.
  Program(512);
  Serial(0, 0x1000, 3, {0x89, 0x67, 0x45});
  EXPECT_EQ(PrepareImage(link, false, false), 0);
  EXPECT_EQ(Image(0x1000, 3), (Bytes{0x45, 0x67, 0x89}));
  EXPECT_EQ(link.image.code_length, 0x1003);

  link.target.fw_version = 0x72;
  PrepareImage(link, true, false);
  EXPECT_EQ(Records(8), (Bytes{0x5A, 0x00, 0x10, 0x03, 0x45, 0x67, 0x89, 0xFF}));
  EXPECT_EQ(link.image.code_length, 512) << "records leave the code length alone";
  EXPECT_EQ(Image(0x1000, 3), (Bytes{0xFF, 0xFF, 0xFF}));
}

TEST_F(CodeImageTest, ReplyInPiecesOfAtMost64) {
  Program(512);
  link.target.fw_version = 0x72;
  Reply(0x2000, 150);
  PrepareImage(link, true, false);
  const Bytes& list = link.image.extra_records;
  struct Piece {
    std::size_t at;
    int address, n, first;
  } const pieces[] = {{0, 0x2000, 64, 0xA0}, {68, 0x2040, 64, 0xE0}, {136, 0x2080, 22, 0x20}};
  for (const Piece& p : pieces) {
    SCOPED_TRACE(p.at);
    EXPECT_EQ(list[p.at], 0x5A);
    EXPECT_EQ(list[p.at + 1] | list[p.at + 2] << 8, p.address);
    EXPECT_EQ(list[p.at + 3], p.n);
    EXPECT_EQ(list[p.at + 4], p.first);
  }
  EXPECT_EQ(list[162], 0xFF) << "the list ends after the third piece";
}

TEST_F(CodeImageTest, PlacementsInOrderLaterOnesOverwrite) {
  Program(1024);
  Serial(0, 100, 4, {0x04, 0x03, 0x02, 0x01});
  Serial(1, 102, 2, {0xBB, 0xAA});
  Reply(103, 1);
  PrepareImage(link, false, false);
  EXPECT_EQ(Image(98, 8), (Bytes{99, 100, 0x01, 0x02, 0xAA, 0xA0, 105, 106}));
  EXPECT_EQ(link.image.code_length, 1024);
}

TEST_F(CodeImageTest, RecordListIsOverwrittenFromItsStartOnly) {
  Program(512);
  link.target.fw_version = 0x72;
  Serial(0, 0x10, 2, {0x02, 0x01});
  Serial(1, 0x20, 2, {0x04, 0x03});
  PrepareImage(link, true, false);
  link.placements.serial_numbers[1].enabled = false;
  PrepareImage(link, true, false);
  EXPECT_EQ(Records(12),
            (Bytes{0x5A, 0x10, 0x00, 0x02, 0x01, 0x02, 0x5A, 0x20, 0x00, 0x02, 0x03, 0x04}));
}

TEST_F(CodeImageTest, ChipParameterBlockForms) {
  ParameterStatus();
  PlaceParameters();
  Program(512);
  struct Case {
    const char* name;
    int family;
    int fw, build;
    Bytes after_prefix;
  } const cases[] = {
      {"families below 45",
       30,
       0x72,
       0,
       {0x44, 0x5C, 0x40, 0x43, 0x5D, 0x80, 0x41, 0x42, 0x63, 0x64}},
      {"45 up from 7.4",
       53,
       0x74,
       0,
       {0x5E, 0x5D, 0x5C, 0x5B, 0x71, 0x70, 0x6F, 0x6E, 0x6D, 0x6C, 0x6B, 0x6A, 0x5A, 0x59, 0x57,
        0x58, 0x63, 0x64}},
      {"45 up, 7.3 build 12",
       53,
       0x73,
       12,
       {0x5D, 0x5C, 0x71, 0x70, 0x6F, 0x6E, 0x6D, 0x6C, 0x6B, 0x6A, 0x5A, 0x59, 0x57, 0x58, 0x63,
        0x64}},
      {"45 up, 7.3 build 11", 53, 0x73, 11, {0x5A, 0x59, 0x57, 0x58, 0x63, 0x64}},
      {"45 up, 7.2", 45, 0x72, 30, {0x5A, 0x59, 0x57, 0x58, 0x63, 0x64}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseChip(FindChip([&](const ChipRecord& r) { return FamilyCode(r) == c.family; }));
    link.target.fw_version = c.fw;
    link.target.fw_build = c.build;
    PrepareImage(link, true, false);
    Bytes expected = {0x00, 0x00, 0x75, 0xC7, 0x20};
    expected.insert(expected.end(), c.after_prefix.begin(), c.after_prefix.end());
    const int n = static_cast<int>(expected.size());
    const int address = static_cast<int>(chip().code_size - chip().tail_reserve) - n;
    Bytes record = {0x5A, static_cast<std::uint8_t>(address),
                    static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(n)};
    record.insert(record.end(), expected.begin(), expected.end());
    EXPECT_EQ(Records(static_cast<int>(record.size())), record);
    EXPECT_EQ(link.image.code_length, 512);
  }
}

TEST_F(CodeImageTest, DirectParameterBlockEndsAtTheCodeSizeOverTheChipSerial) {
  // A chip without tail reserve, records asked for, firmware before 7.2.
  ParameterStatus();
  PlaceParameters();
  Program(512);
  for (int i = 0; i < 7; ++i) link.target.chip_serial[i] = static_cast<std::uint8_t>(0xE0 + i);
  ASSERT_EQ(chip().tail_reserve, 0);
  PrepareImage(link, true, false);
  const int end = static_cast<int>(chip().code_size);
  EXPECT_EQ(Image(end - 15, 15), (Bytes{0x00, 0x00, 0x75, 0xC7, 0x20, 0x44, 0x5C, 0x40, 0x43, 0x5D,
                                        0x80, 0x41, 0x42, 0x63, 0x64}));
  EXPECT_EQ(link.image.code_length, end);
  EXPECT_EQ(link.image.extra_records[0], 0xFF);
}

TEST_F(CodeImageTest, ChipSerialAtTheTopOfTheCodeArea) {
  for (int i = 0; i < 7; ++i) link.target.chip_serial[i] = static_cast<std::uint8_t>(0xE0 + i);
  Program(512);
  const int end = static_cast<int>(chip().code_size);
  const Bytes serial = {0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};

  // With records: always there, the code length not raised.
  link.target.fw_version = 0x72;
  PrepareImage(link, true, false);
  EXPECT_EQ(Image(end - 7, 7), serial);
  EXPECT_EQ(link.image.code_length, 512);

  // Without records: only with option byte 15 bit 1, raising the code length.
  PrepareImage(link, false, false);
  EXPECT_EQ(Image(end - 7, 7), Bytes(7, 0xFF));
  PlaceParameters();
  PrepareImage(link, false, false);
  EXPECT_EQ(Image(end - 7, 7), serial);
  EXPECT_EQ(link.image.code_length, end);

  // Families 25 and 28 clear those bytes and stay at the image length.
  UseChip(FindChip([](const ChipRecord& r) { return FamilyCode(r) == 28; }));
  PrepareImage(link, false, false);
  const int end28 = static_cast<int>(chip().code_size);
  EXPECT_EQ(Image(end28 - 7, 7), Bytes(7, 0x00));
  EXPECT_EQ(link.image.code_length, 512);
}

TEST_F(CodeImageTest, LengthModeTellsWhatTheBuildWillNeed) {
  Program(1024);
  EXPECT_EQ(PrepareImage(link, false, true), 1024) << "nothing enabled";
  Serial(0, 3000, 4, {});
  Reply(5000, 100);
  EXPECT_EQ(PrepareImage(link, false, true), 5100);
  EXPECT_EQ(link.image.code_length, 0) << "the length mode changes nothing";
  PlaceParameters();
  const int code = static_cast<int>(chip().code_size);
  EXPECT_EQ(PrepareImage(link, false, true), std::max(5100, code));
  EXPECT_EQ(PrepareImage(link, true, true), std::max(5100, code - chip().tail_reserve));
}

TEST_F(CodeImageTest, TopReserveCutsTheProgram) {
  UseChip(
      FindChip([](const ChipRecord& r) { return r.total_size == 65536 && FamilyCode(r) < 25; }));
  link.image.top_reserve = true;
  link.target.option_capable_firmware = false;
  Program(64000);
  EXPECT_EQ(PrepareImage(link, false, true), 62464);
  EXPECT_EQ(PrepareImage(link, false, false), 1);
  EXPECT_EQ(link.image.code_length, 62464);
  // The program's last 1,536 bytes are left out, and the log says how many of
  // them held data (six of them are 0xFF).
  EXPECT_TRUE(log.text.find(" 1530 bytes") != std::string::npos) << log.text;

  // An option-capable boot loader keeps no reserve.
  log.text.clear();
  link.target.option_capable_firmware = true;
  EXPECT_EQ(PrepareImage(link, false, false), 0);
  EXPECT_EQ(link.image.code_length, 64000);
  EXPECT_TRUE(log.text.empty());
}

TEST_F(CodeImageTest, TopReserveCutOfBlankBytesIsNotWarned) {
  UseChip(
      FindChip([](const ChipRecord& r) { return r.total_size == 65536 && FamilyCode(r) < 25; }));
  link.image.top_reserve = true;
  Program(62464);
  link.image.image_length = 64000;  // the rest blank
  EXPECT_EQ(PrepareImage(link, false, false), 1);
  EXPECT_EQ(link.image.code_length, 62464);
  EXPECT_TRUE(log.text.empty()) << log.text;
}

TEST_F(CodeImageTest, TopReserveOfAChipBelow3KClampsAtZero) {
  link.target.chip_index = 0;  // the placeholder record: total size 0
  link.image.top_reserve = true;
  Program(512);
  EXPECT_EQ(PrepareImage(link, false, true), 0);
  EXPECT_EQ(PrepareImage(link, false, false), 1);
  EXPECT_EQ(link.image.code_length, 0);
  EXPECT_TRUE(log.text.find(" 510 bytes") != std::string::npos) << log.text;
}

TEST_F(CodeImageTest, WritesStayInsideTheirBuffers) {
  Program(512);
  const int capacity = static_cast<int>(link.image.code_image.size());
  struct Case {
    const char* name;
    int address, length;
    int code_length;
  } const cases[] = {
      {"negative address places nothing", -5, 4, 512},
      {"no length places nothing", 100, 0, 512},
      {"reaching past the buffer is clipped", capacity - 2, 4, capacity},
      {"beyond the buffer places nothing", capacity + 10, 4, 512},
      {"a length above 16 is taken as 16", 0x12340, 40, 0x12340 + 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Serial(0, c.address, c.length,
           {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E,
            0x0F, 0x10});
    EXPECT_EQ(PrepareImage(link, false, true), c.code_length);
    PrepareImage(link, false, false);
    EXPECT_EQ(link.image.code_length, c.code_length);
  }
  // The clipped serial number keeps its first (most significant) bytes.
  Serial(0, capacity - 2, 4, {0x04, 0x03, 0x02, 0x01});
  PrepareImage(link, false, false);
  EXPECT_EQ(Image(capacity - 2, 2), (Bytes{0x01, 0x02}));
  // A reply length uses its low 16 bits and at most the reply buffer.
  link.placements.serial_numbers[0].enabled = false;
  Reply(0, 0x10000 + 3000);
  EXPECT_EQ(PrepareImage(link, false, true), UserInterfaceReply::kReplyBufferSize);
}

TEST_F(CodeImageTest, ImageAbove64KIsBlankUpToTheCodeLength) {
  // Bytes beyond the first 64 KB are 0x00 after re-initialisation; a placement
  // far above the program must not have zeros programmed before it.
  link.Reinitialise();
  link.outputs.echo = nullptr;
  link.image.option_bytes[15] = 0x00;
  UseChip(FindChip([](const ChipRecord& r) { return FamilyCode(r) == 11; }));
  Program(70000);
  Serial(0, 100000, 2, {0x22, 0x11});
  PrepareImage(link, false, false);
  EXPECT_EQ(link.image.code_length, 100002);
  EXPECT_EQ(Image(69998, 4), (Bytes{static_cast<std::uint8_t>(69999),
                                    static_cast<std::uint8_t>(70000), 0xFF, 0xFF}));
  const auto& image = link.image.code_image;
  EXPECT_TRUE(std::all_of(image.begin() + 70000, image.begin() + 100000,
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(Image(100000, 2), (Bytes{0x11, 0x22}));
}

}  // namespace
}  // namespace fw
