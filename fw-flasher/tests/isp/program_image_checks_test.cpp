// What a download cannot program as given: the refusals of the shared check,
// and, against the image builder itself, that every byte a download writes of
// its own lies where the check refuses the user's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "isp/download_sequence.h"
#include "isp/link/isp_link.h"
#include "isp/program_image_checks.h"
#include "target/chips/chip_table.h"
#include "target/chips/code_image.h"
#include "target/chips/image_cut.h"
#include "target/chips/own_byte_areas.h"
#include "tests/support/chip_finder.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;

const ChipRecord& Chip(const char* name) {
  const int index = FindChipByName(name);
  EXPECT_GT(index, 0) << name;
  return ChipTable()[static_cast<std::size_t>(std::max(index, 0))];
}

// A code image of `size` erased bytes with one user byte at `at`.
Bytes CodeWithByteAt(std::size_t size, std::size_t at) {
  Bytes code(size, 0xFF);
  code[0] = 0x02;
  code[at] = 0x44;
  return code;
}

struct CheckCase {
  const char* name;
  const char* chip;
  Bytes code;
  Bytes data;
  std::uint64_t data_offset;
  std::uint8_t option_byte_15;
  DownloadRoutes routes;
  std::optional<ImageInput> refused;  // empty: accepted
  const char* problem;                // part of the refusal
};

TEST(ProgramImageChecksTest, RefusesWhatADownloadCannotProgramAsGiven) {
  constexpr auto kSerial = DownloadRoutes::kSerialPort;
  constexpr auto kBoth = DownloadRoutes::kSerialPortOrUsbWriter;
  // QMV45A60000: 0xF000 bytes of code flash, tail reserve 7, family 45.
  // QMV11A64000: 0x10000 of code flash, no tail reserve, classic only.
  // QMV70A62000: 0xF800 of code flash, no tail reserve, newer only.
  // QMV15A16000: 0x4000 of code flash, a tail reserve no download keeps, classic only.
  const CheckCase cases[] = {
      {"code that fills the code flash",
       "QMV11A64000",
       Bytes(0x10000, 0x11),
       {},
       0,
       0x00,
       kSerial,
       std::nullopt,
       ""},
      {"code past the code flash",
       "QMV11A64000",
       Bytes(0x10001, 0x11),
       {},
       0,
       0x00,
       kSerial,
       ImageInput::kCode,
       "65537 bytes do not fit the 65536-byte code flash of QMV11A64000"},
      {"data right after the code", "QMV11A64000", Bytes(0x400, 0x11), Bytes(16, 1), 0x400, 0x00,
       kSerial, std::nullopt, ""},
      {"data on top of the code", "QMV11A64000", Bytes(0x400, 0x11), Bytes(16, 1), 0x3FF, 0x00,
       kSerial, ImageInput::kDataOffset,
       "the data image at 0x003FF overlaps the code image, which ends at 0x00400"},
      {"data past the chip", "QMV11A64000", Bytes(0x400, 0x11), Bytes(16, 1), 69632 - 15, 0x00,
       kSerial, ImageInput::kData, "ends at 0x11001, beyond the 69632 bytes of QMV11A64000"},
      {"data in the top reserve", "QMV11A64000", Bytes(0x400, 0x11), Bytes(16, 1), 66560 - 4, 0x00,
       kSerial, ImageInput::kData,
       "holds data at 0x10400, at or above 0x10400 where a download to QMV11A64000 stops"},
      {"code in the tail reserve",
       "QMV45A60000",
       CodeWithByteAt(0xF000, 0xEFF9),
       {},
       0,
       0x00,
       kBoth,
       ImageInput::kCode,
       "holds data at 0x0EFF9, at or above 0x0EFF9 where a download to QMV45A60000 stops; those "
       "bytes would be left out"},
      {"erased bytes in the tail reserve",
       "QMV45A60000",
       Bytes(0xF000, 0xFF),
       {},
       0,
       0xFF,
       kBoth,
       std::nullopt,
       ""},
      {"the longest parameter block's first byte",
       "QMV45A60000",
       CodeWithByteAt(0xEFF9, 0xEFE2),
       {},
       0,
       0xFF,
       kSerial,
       ImageInput::kCode,
       "holds data at 0x0EFE2, inside 0x0EFE2..0x0EFF8 where a download to QMV45A60000 writes the "
       "chip's parameter block"},
      {"just below the parameter block",
       "QMV45A60000",
       CodeWithByteAt(0xEFF9, 0xEFE1),
       {},
       0,
       0xFF,
       kBoth,
       std::nullopt,
       ""},
      {"the parameter block not asked for",
       "QMV45A60000",
       CodeWithByteAt(0xEFF9, 0xEFE2),
       {},
       0,
       0xFD,
       kBoth,
       std::nullopt,
       ""},
      {"data where the parameter block goes", "QMV45A60000", Bytes(0x100, 0x11),
       Bytes{0xFF, 0xFF, 0x33}, 0xEFE0, 0xFF, kSerial, ImageInput::kData,
       "holds data at 0x0EFE2, inside 0x0EFE2..0x0EFF8"},
      {"a classic chip's serial number area, option byte 15 asking",
       "QMV11A64000",
       CodeWithByteAt(0x10000, 0xFFF9),
       {},
       0,
       0x02,
       kSerial,
       ImageInput::kCode,
       "holds data at 0x0FFF9, inside 0x0FFF9..0x0FFFF where a download to QMV11A64000 writes the "
       "chip's own serial number; those bytes would be overwritten"},
      {"a classic chip's serial number area, option byte 15 not asking",
       "QMV11A64000",
       CodeWithByteAt(0x10000, 0xFFF9),
       {},
       0,
       0x00,
       kSerial,
       std::nullopt,
       ""},
      {"a classic chip's parameter area over the serial port",
       "QMV11A64000",
       CodeWithByteAt(0x10000, 0xFFF1),
       {},
       0,
       0xFF,
       kSerial,
       std::nullopt,
       ""},
      {"a classic chip's parameter area, the USB writer too",
       "QMV11A64000",
       CodeWithByteAt(0x10000, 0xFFF1),
       {},
       0,
       0xFF,
       kBoth,
       ImageInput::kCode,
       "holds data at 0x0FFF1, inside 0x0FFF1..0x0FFFF where a download to QMV11A64000 writes the "
       "chip's parameter block"},
      {"a classic chip's serial number area, the USB writer too",
       "QMV11A64000",
       CodeWithByteAt(0x10000, 0xFFFF),
       {},
       0,
       0x00,
       kBoth,
       ImageInput::kCode,
       "the chip's own serial number"},
      {"a newer chip's serial number area, whatever option byte 15",
       "QMV70A62000",
       CodeWithByteAt(0xF800, 0xF7F9),
       {},
       0,
       0x00,
       kSerial,
       ImageInput::kCode,
       "holds data at 0x0F7F9, inside 0x0F7F9..0x0F7FF where a download to QMV70A62000 writes the "
       "chip's own serial number"},
      {"a newer chip just below its serial number",
       "QMV70A62000",
       CodeWithByteAt(0xF800, 0xF7F8),
       {},
       0,
       0x00,
       kSerial,
       std::nullopt,
       ""},
      {"a chip whose tail reserve no download keeps",
       "QMV15A16000",
       CodeWithByteAt(0x4000, 0x3FF9),
       {},
       0,
       0x02,
       kSerial,
       ImageInput::kCode,
       "holds data at 0x03FF9, inside 0x03FF9..0x03FFF where a download to QMV15A16000 writes the "
       "chip's own serial number"},
      {"the same chip with option byte 15 not asking",
       "QMV15A16000",
       CodeWithByteAt(0x4000, 0x3FFF),
       {},
       0,
       0x00,
       kSerial,
       std::nullopt,
       ""},
  };
  for (const CheckCase& k : cases) {
    SCOPED_TRACE(k.name);
    ProgramImage image;
    image.code = k.code;
    image.data = k.data;
    image.data_offset = k.data_offset;
    image.option_byte_15 = k.option_byte_15;
    const auto refusal = CheckProgramImage(Chip(k.chip), image, k.routes);
    if (!k.refused) {
      EXPECT_FALSE(refusal.has_value()) << refusal->problem;
      continue;
    }
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->input, *k.refused);
    EXPECT_NE(refusal->problem.find(k.problem), std::string::npos) << refusal->problem;
  }
}

// One firmware of the boot loader, as identification leaves it in the link.
struct Firmware {
  int version;
  int build;
};

// Every byte the image builder writes of its own, into the image or as an
// extra data record, for one chip, firmware and way of building.
std::vector<std::uint32_t> OwnBytesOfTheBuild(int chip_index, Firmware fw, bool with_records) {
  IspLink link;
  link.Reinitialise();
  link.target.chip_index = chip_index;
  link.target.fw_version = fw.version;
  link.target.fw_build = fw.build;
  const ChipRecord& chip = ChipTable()[static_cast<std::size_t>(chip_index)];
  link.image.top_reserve = HasTopReserve(chip);
  std::fill(std::begin(link.target.status_record), std::end(link.target.status_record), 0xA5);
  std::fill(std::begin(link.target.chip_serial), std::end(link.target.chip_serial), 0x5A);
  link.image.option_bytes[kPlacementOptionByte] = 0xFF;
  // The user's image fills the code flash with a byte no placement writes.
  const std::size_t size = std::min<std::size_t>(chip.code_size, link.image.image_source.size());
  std::fill_n(link.image.image_source.begin(), size, 0x11);
  link.image.image_length = static_cast<int>(size);
  BuildCodeImage(link, with_records);

  std::vector<std::uint32_t> own;
  const int length = std::min<int>(link.image.code_length, static_cast<int>(size));
  for (int a = 0; a < length; ++a)
    if (link.image.code_image[static_cast<std::size_t>(a)] != 0x11)
      own.push_back(static_cast<std::uint32_t>(a));
  ForEachExtraRecord(link, [&](const ExtraRecord& record) {
    for (std::size_t i = 0; i < record.data.size(); ++i)
      own.push_back(static_cast<std::uint32_t>(record.address + static_cast<int>(i)));
    return 0;
  });
  return own;
}

TEST(ProgramImageChecksTest, EveryByteADownloadWritesOfItsOwnIsOneTheCheckKeepsFree) {
  const Firmware firmwares[] = {{0x50, 0}, {0x66, 0}, {0x70, 0},  {0x71, 0},
                                {0x72, 0}, {0x73, 0}, {0x73, 12}, {0x74, 0}};
  int families_seen = 0;
  for (int family = 1; family < 256; ++family) {
    const int index = test::FirstChipOf(family);
    if (index <= 0) continue;
    ++families_seen;
    const ChipRecord& chip = ChipTable()[static_cast<std::size_t>(index)];
    const ImageArea parameters = ParameterBlockArea(chip);
    const ImageArea serial = ChipSerialArea(chip);
    const auto cut = ImageCut(chip);
    for (const Firmware fw : firmwares) {
      const DownloadSequence sequence = ChooseDownloadSequence(family, fw.version);
      if (sequence == DownloadSequence::kRefused) continue;
      // The serial flow builds as its sequence asks; the USB writer always with records.
      for (const bool with_records : {sequence == DownloadSequence::kNewer, true}) {
        SCOPED_TRACE(std::string(chip.name) + " firmware " + std::to_string(fw.version) + "." +
                     std::to_string(fw.build) + (with_records ? " with records" : ""));
        for (const std::uint32_t a : OwnBytesOfTheBuild(index, fw, with_records)) {
          const bool kept_free = parameters.Contains(a) || serial.Contains(a) || (cut && a >= *cut);
          EXPECT_TRUE(kept_free) << "the download writes its own byte at " << a;
        }
      }
    }
  }
  EXPECT_GT(families_seen, 20);
}

}  // namespace
}  // namespace fw
