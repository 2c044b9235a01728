#include <gtest/gtest.h>

#include "device/DeviceImage.h"
#include "model/HexText.h"

namespace relay::device {
namespace {

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// A sector's hex text from its leading bytes, the rest FF.
std::string Sector(const std::string& leading) {
  std::string image = leading;
  while (image.size() < kImageTextLength) image += "FF ";
  return image;
}

TEST(DeviceImageTest, BuildJoinsTheEntriesAndPadsWithFF) {
  const std::string image = BuildDeviceImage({"02 80 01 83", "00 FF FF FE"});
  EXPECT_EQ(image.size(), kImageTextLength);
  EXPECT_EQ(image, Sector("02 80 01 83 00 FF FF FE "));
  EXPECT_EQ(ImageBlockText(image, 1), "02 80 01 83 00 FF FF FE FF FF FF FF FF FF FF FF");
  for (int block = 2; block <= 32; ++block) {
    SCOPED_TRACE(block);
    EXPECT_EQ(ImageBlockText(image, block), "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF");
  }
}

TEST(DeviceImageTest, EntriesThatDoNotFitAreLeftOutWhileLaterOnesGoIn) {
  struct TCase {
    const char* name;
    std::vector<std::string> entries;
    std::string expected;
  };
  // 127 serial-trigger-sized bytes: an entry of 520 bytes alone exceeds the sector.
  const std::string big = Repeat("01 ", 519) + "01";
  const std::string fill508 = Repeat("04 00 01 05 ", 127);
  const TCase cases[] = {
      {"first entry alone too big", {big, "02 80 01 83"}, Sector("02 80 01 83 ")},
      {"exactly full", {fill508, "00 FF FF FE"}, fill508 + "00 FF FF FE "},
      {"a 10-byte entry no longer fits, a 4-byte one after it does",
       {fill508, "85 00 01 05 00 00 00 01 02 8E", "00 FF FF FE"},
       fill508 + "00 FF FF FE "},
      {"trailing blank of a read-back entry does not shift the bytes",
       {"85 00 01 05 00 00 00 01 02 8E ", "00 FF FF FE"},
       Sector("85 00 01 05 00 00 00 01 02 8E 00 FF FF FE ")},
      {"an empty entry adds nothing", {"", "02 80 01 83"}, Sector("02 80 01 83 ")},
      {"entries that are no hex text are left out, not written as stray bytes",
       {"02  80 01 83", "hello world", "0280 0183", "02 80 01 8", "00 FF FF FE"},
       Sector("00 FF FF FE ")},
      {"fillers and digits in either case go in as they are",
       {"FF FF FF", "86 00 02 87 c2 00 32 0a 0b 41 42 9b"},
       Sector("FF FF FF 86 00 02 87 c2 00 32 0a 0b 41 42 9b ")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string image = BuildDeviceImage(c.entries);
    EXPECT_EQ(image.size(), kImageTextLength);
    EXPECT_EQ(image, c.expected);
  }
}

TEST(DeviceImageTest, FirstEntryNotHexTextNamesTheEntryThatCannotBeWritten) {
  struct TCase {
    std::vector<std::string> entries;
    std::optional<std::size_t> bad;
  };
  const TCase cases[] = {
      {{"02 80 01 83", "85 00 01 05 00 00 00 01 02 8E ", "FF FF FF", ""}, std::nullopt},
      {{"02 80 01 83", "0280 0183", "hello world"}, 1},
      {{"hello world"}, 0},
      {{"04 00 01 05", "02 80 01 8"}, 1},
      {{}, std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.entries.empty() ? "" : c.entries.back());
    EXPECT_EQ(FirstEntryNotHexText(c.entries), c.bad);
  }
}

TEST(DeviceImageTest, TakeApartWalksTheKindBytes) {
  struct TCase {
    const char* name;
    std::string image;
    std::vector<std::string> entries;
  };
  std::vector<std::string> pastEnd(127, "04 00 01 05");
  pastEnd.push_back("85 00 01 05 ");
  const TCase cases[] = {
      {"IO action and end loop, FF ends the walk",
       Sector("02 80 01 83 00 FF FF FE "),
       {"02 80 01 83", "00 FF FF FE"}},
      {"serial trigger keeps its trailing blank",
       Sector("85 00 01 05 00 00 00 01 02 8E 04 00 01 05 "),
       {"85 00 01 05 00 00 00 01 02 8E ", "04 00 01 05"}},
      {"ASCII pattern: the length byte's bit 7 is not counted",
       Sector("86 00 02 87 C2 00 32 0A 0B 41 42 9B "),
       {"86 00 02 87 C2 00 32 0A 0B 41 42 9B "}},
      {"erased sector", Sector(""), {}},
      {"kind bytes below 80 are 4 bytes whatever they are",
       Sector("7F 01 02 03 "),
       {"7F 01 02 03"}},
      {"full sector without FF", Repeat("04 00 01 05 ", 128),
       std::vector<std::string>(128, "04 00 01 05")},
      {"a trigger running past the sector's end keeps what is there",
       Repeat("04 00 01 05 ", 127) + "85 00 01 05 ", pastEnd},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.image.size(), kImageTextLength);
    const auto entries = TakeDeviceImageApart(c.image);
    ASSERT_TRUE(entries.has_value());
    EXPECT_EQ(*entries, c.entries);
  }
}

TEST(DeviceImageTest, OnlyACompleteImageIsTakenApart) {
  const std::string image = Sector("02 80 01 83 ");
  EXPECT_FALSE(TakeDeviceImageApart(image.substr(0, 1533)));
  EXPECT_FALSE(TakeDeviceImageApart(image + "02 80 01 83 "));
  EXPECT_FALSE(TakeDeviceImageApart(""));
}

TEST(DeviceImageTest, BuildThenTakeApartGivesTheEntriesBack) {
  const std::vector<std::string> entries = {"02 80 01 83", "04 00 0A 0E",
                                            "87 01 00 04 20 00 00 AA 56", "00 00 03 03"};
  const auto back = TakeDeviceImageApart(BuildDeviceImage(entries));
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    // Bytes equal; a serial trigger comes back with its trailing blank.
    EXPECT_EQ(model::HexTextToBytes((*back)[i]), model::HexTextToBytes(entries[i]));
  }
  EXPECT_EQ((*back)[2], "87 01 00 04 20 00 00 AA 56 ");
}

}  // namespace
}  // namespace relay::device
