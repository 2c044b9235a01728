// Firmware image files: Intel HEX records, their checks and errors with the
// line, and raw binary files.
#include <gtest/gtest.h>

#include "target/chips/image_file.h"
#include "tests/support/temp_folder.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One record with its checksum, written out here rather than by the reader's code.
std::string Line(std::uint8_t type, std::uint16_t address, const Bytes& data) {
  Bytes b = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
             static_cast<std::uint8_t>(address), type};
  b.insert(b.end(), data.begin(), data.end());
  std::uint8_t sum = 0;
  for (std::uint8_t x : b) sum = static_cast<std::uint8_t>(sum + x);
  b.push_back(static_cast<std::uint8_t>(-sum));
  std::string line = ":";
  char pair[3];
  for (std::uint8_t x : b) {
    std::snprintf(pair, sizeof pair, "%02X", x);
    line += pair;
  }
  return line + "\n";
}

const std::string kEnd = ":00000001FF\n";

TEST(IntelHexTest, DataRecordsWithGapsReadAsErased) {
  const ImageFile image =
      ParseIntelHex(Line(0, 0x0000, {0x02, 0x00, 0x30}) + Line(0, 0x0006, {0xAA, 0xBB}) + kEnd);
  ASSERT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(image.bytes, (Bytes{0x02, 0x00, 0x30, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB}));
}

TEST(IntelHexTest, SegmentAndLinearAddressRecordsMoveTheBase) {
  const ImageFile image =
      ParseIntelHex(Line(2, 0, {0x10, 0x00}) + Line(0, 0x0002, {1}) + Line(4, 0, {0x00, 0x01}) +
                    Line(0, 0x0003, {2}) + Line(4, 0, {0x00, 0x00}) + Line(0, 0x0000, {3}) + kEnd);
  ASSERT_TRUE(image.ok()) << image.error;
  ASSERT_EQ(image.bytes.size(), 0x10004u);
  EXPECT_EQ(image.bytes[0x10002], 1);
  EXPECT_EQ(image.bytes[0x10003], 2);
  EXPECT_EQ(image.bytes[0], 3);
  EXPECT_EQ(image.bytes[1], 0xFF);
}

TEST(IntelHexTest, LineEndingsAndBlankLinesAreAccepted) {
  const ImageFile image = ParseIntelHex("\r\n:0100000055AA\r\n\n:00000001FF\r\n\n");
  ASSERT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(image.bytes, Bytes{0x55});
  EXPECT_TRUE(ParseIntelHex(":0100000055AA\n:00000001FF").ok()) << "no final line end";
  EXPECT_TRUE(ParseIntelHex(":0100000055aa\n:00000001ff\n").ok()) << "lower-case digits";
}

TEST(IntelHexTest, ErrorsNameTheirLine) {
  struct Case {
    const char* name;
    std::string text;
    std::string error_start;
  } cases[] = {
      {"bad checksum", ":0100000055AB\n" + kEnd, "line 1: wrong checksum"},
      {"no colon", Line(0, 0, {1}) + "0100000055AA\n" + kEnd, "line 2:"},
      {"odd digits", ":0100000055A\n" + kEnd, "line 1:"},
      {"not hexadecimal", ":01000000G5AA\n" + kEnd, "line 1:"},
      {"count too large", ":0500000055A6\n" + kEnd, "line 1:"},
      {"too short", ":0000\n" + kEnd, "line 1:"},
      {"overlap", Line(0, 0x10, {1, 2, 3}) + Line(0, 0x12, {4}) + kEnd,
       "line 2: address 0x0012 is already filled"},
      {"beyond the buffer", Line(4, 0, {0x00, 0x02}) + Line(0, 0, {1}) + kEnd,
       "line 2: address 0x20000 lies beyond"},
      {"straddles the end", Line(4, 0, {0x00, 0x01}) + Line(0, 0xFFFE, {1, 2, 3}) + kEnd,
       "line 2: address 0x20000 lies beyond"},
      {"no end record", Line(0, 0, {1}) + Line(0, 1, {2}), "line 2: the file ends without"},
      {"empty file", "", "line 0: the file ends without"},
      {"record after the end", kEnd + Line(0, 0, {1}), "line 2: a record follows"},
      {"end record with data", Line(1, 0, {1}), "line 1: the end record carries data"},
      {"short address record", Line(4, 0, {1}) + kEnd, "line 1: an address record"},
      {"start address record", Line(3, 0, {0, 0, 0, 0}) + kEnd, "line 1: record type 03"},
      {"unknown type", Line(7, 0, {}) + kEnd, "line 1: record type 07"},
  };
  for (const Case& k : cases) {
    const ImageFile image = ParseIntelHex(k.text);
    EXPECT_FALSE(image.ok()) << k.name;
    EXPECT_TRUE(image.bytes.empty()) << k.name;
    EXPECT_EQ(image.error.rfind(k.error_start, 0), 0u) << k.name << ": " << image.error;
  }
}

TEST(IntelHexTest, TheLastByteOfTheBufferMayBeFilled) {
  const ImageFile image = ParseIntelHex(Line(4, 0, {0x00, 0x01}) + Line(0, 0xFFFF, {7}) + kEnd);
  ASSERT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(image.bytes.size(), kImageFileCapacity);
  EXPECT_EQ(image.bytes.back(), 7);
}

using ImageFileTest = test::TempFolderTest;

TEST_F(ImageFileTest, TheEndingChoosesTheFormat) {
  const std::string hex = Line(0, 2, {0x11}) + kEnd;
  for (const char* name : {"fw.hex", "FW.HEX", "fw.ihx", "fw.ihex"}) {
    const ImageFile image = ReadImageFile(Write(name, hex));
    ASSERT_TRUE(image.ok()) << name << ": " << image.error;
    EXPECT_EQ(image.bytes, (Bytes{0xFF, 0xFF, 0x11})) << name;
  }
  const ImageFile raw = ReadImageFile(Write("fw.bin", hex));
  ASSERT_TRUE(raw.ok());
  EXPECT_EQ(raw.bytes.size(), hex.size()) << "a .bin file is taken byte for byte";
}

TEST_F(ImageFileTest, BinaryFilesFitTheBuffer) {
  EXPECT_EQ(ReadImageFile(Write("full.bin", std::string(kImageFileCapacity, 'x'))).bytes.size(),
            kImageFileCapacity);
  const ImageFile too_big =
      ReadImageFile(Write("big.bin", std::string(kImageFileCapacity + 1, 'x')));
  EXPECT_FALSE(too_big.ok());
  EXPECT_NE(too_big.error.find("131072"), std::string::npos) << too_big.error;
  EXPECT_TRUE(ReadImageFile(Write("empty.bin", "")).bytes.empty());
  EXPECT_FALSE(ReadImageFile(dir_ / "missing.bin").ok());
  EXPECT_FALSE(ReadImageFile(dir_).ok()) << "a folder is no image";
}

}  // namespace
}  // namespace fw
