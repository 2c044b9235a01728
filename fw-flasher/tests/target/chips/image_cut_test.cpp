// Where a download stops programming the image, by chip record.
#include <gtest/gtest.h>

#include "target/chips/image_cut.h"

namespace fw {
namespace {

ChipRecord Record(int family, std::uint32_t flag_bits, std::uint32_t code, std::uint32_t data,
                  std::uint32_t total, std::uint8_t tail) {
  return ChipRecord{static_cast<std::uint32_t>(family) << 11 | flag_bits,
                    "TEST",
                    1,
                    0,
                    code,
                    data,
                    0,
                    total,
                    tail,
                    0};
}

TEST(ImageCutTest, ByFamilyFlagsAndSizes) {
  constexpr std::uint32_t kBit2 = chip_flags::kOptionBlockBit;
  constexpr std::uint32_t kBit4 = chip_flags::kOptionsNeedCapableFirmware;
  struct Case {
    const char* name;
    ChipRecord record;
    std::optional<std::uint32_t> cut;
  } cases[] = {
      {"top reserve by data area", Record(11, 0, 65536, 4096, 69632, 0), 66560},
      {"top reserve by bit 2, below the tail", Record(3, kBit2, 16384, 1024, 17408, 0), 14336},
      {"bit 4 clears the top reserve", Record(11, kBit4, 65536, 4096, 69632, 0), std::nullopt},
      {"family without a top reserve", Record(6, 0, 8192, 4096, 12288, 0), std::nullopt},
      {"bit 2 outside those families: tail reserve", Record(45, kBit2, 61440, 0, 62464, 7), 61433},
      {"no data, no bit 2", Record(11, 0, 8192, 0, 8192, 0), std::nullopt},
      {"tiny total size", Record(1, 0, 1024, 512, 1536, 0), 0},
  };
  for (const Case& k : cases) EXPECT_EQ(ImageCut(k.record), k.cut) << k.name;
}

TEST(ImageCutTest, TableChipsUsedByTheProjects) {
  const auto table = ChipTable();
  const ChipRecord& demo = table[static_cast<std::size_t>(FindChipByName("QMV45A60000"))];
  EXPECT_EQ(ImageCut(demo), demo.code_size - demo.tail_reserve);
  EXPECT_FALSE(HasTopReserve(demo));
}

}  // namespace
}  // namespace fw
