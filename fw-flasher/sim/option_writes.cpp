#include "sim/option_writes.h"

#include <set>
#include <vector>

#include "sim/sim_text.h"
#include "sim/trim_procedure.h"

namespace fw::sim {
namespace {

constexpr std::uint8_t kOldWrite = 0x8D;
constexpr std::uint8_t kNewWrite = 0x04;
constexpr std::uint8_t kUnused = 0xFF;  // what a byte no family fills holds

enum class Layout {
  kOneByteNew,    // 04 00 00 g1 g2 X
  kOneByteOld,    // 8D X FF F6 FF
  kOneByteBare,   // 8D X
  kFourBytesNew,  // 04 00 00 g1 g2 F3 F2 F1 F0 a b c d
  kWide33,        // 8D, 33 bytes with copies
  kWide21,        // 8D, 21 bytes
  kTwenty,        // 8D, 20 bytes (families 25 and 28 before 7.1)
  kBlock,         // 04 00 00 [g1 g2] and the option block
};

Layout LayoutOf(const ChipTraits& chip) {
  const int f = chip.family;
  if (FamilyIn(f, 1, 5) || f == 15 || f == 16) {
    return chip.fw72() ? Layout::kOneByteNew : Layout::kOneByteOld;
  }
  if (f == 6) return Layout::kOneByteBare;
  if (FamilyIn(f, 7, 14) || FamilyIn(f, 17, 24)) {
    if (chip.fw72()) return Layout::kFourBytesNew;
    return FamilyIn(f, 11, 14) || FamilyIn(f, 21, 24) ? Layout::kWide21 : Layout::kWide33;
  }
  if ((f == 25 || f == 28) && chip.fw < 0x71) return Layout::kTwenty;
  return Layout::kBlock;
}

std::size_t BlockLength(int family) { return family >= 45 ? 40 : 64; }
std::size_t BlockStart(const ChipTraits& chip) { return chip.fw72() ? 5 : 3; }

// The bytes of an option block that some family fills; every other byte is FF.
std::set<std::size_t> NamedBlockBytes(int family) {
  std::set<std::size_t> named = {3, 4, 6, 7, 22};
  std::vector<std::size_t> more;
  if (family == 44) {
    more = {23, 25, 27, 29, 31, 32, 56, 57, 58, 59, 60, 61, 62, 63};
  } else if (family >= 53) {
    more = {24, 25, 26, 27, 28, 29, 30, 31, 32, 35, 36, 37, 38, 39};
  } else if (family >= 45) {
    more = {24, 25, 26, 27, 28, 29, 30, 32, 36, 37, 38, 39};
  } else if (family == 25 || family == 28) {
    more = {23, 25, 27, 29, 31, 55, 59, 60, 61, 62, 63};
  } else {
    more = {23, 25, 27, 29, 31, 32, 55, 59, 60, 61, 62, 63};
  }
  named.insert(more.begin(), more.end());
  return named;
}

bool CheckFillers(std::span<const std::uint8_t> p, const std::set<std::size_t>& named,
                  std::size_t offset, std::string& why) {
  for (std::size_t i = offset; i < p.size(); ++i) {
    if (named.count(i - offset) == 0 && p[i] != kUnused) {
      return Refusal(why, "byte " + std::to_string(i) + " of the option write should be FF");
    }
  }
  return true;
}

bool CheckNewHeader(const ChipTraits& chip, std::span<const std::uint8_t> p, std::string& why) {
  if (p[0] != kNewWrite || p[1] != 0 || p[2] != 0) {
    return Refusal(why, "the option write does not start 04 00 00");
  }
  if (chip.fw72() && (p[3] != chip.guard1 || p[4] != chip.guard2)) {
    return Refusal(why, "the option write does not carry the chip's guard bytes");
  }
  return true;
}

// Where an option block's bytes show in the status reply of the newer families.
void MapBlock(const ChipTraits& chip, std::span<const std::uint8_t> block, OptionWrite& w) {
  const int f = chip.family;
  auto put = [&](int position, std::size_t at) { w.status_bytes[position] = block[at]; };
  if (f == 25 || f == 28) {
    // The same option record as the 8D write of the older firmware.
    w.record = {{0, block[63]}, {1, block[62]}, {2, block[61]},
                {3, block[60]}, {4, block[59]}, {12, block[31]}};
  } else if (f >= 45) {
    for (int i = 0; i < 4; ++i) put(1 + i, 24 + static_cast<std::size_t>(i));
    put(9, 32);
    put(10, 36);
    put(11, 37);
    put(12, 35);
    put(15, 38);
    put(16, 39);
    // The trim, its range and divider, where the chip keeps its own figures.
    for (int i = 28; i <= 30; ++i) put(i, static_cast<std::size_t>(i));
  } else if (f == 44) {
    for (int i = 0; i < 4; ++i) put(1 + i, 60 + static_cast<std::size_t>(i));
    for (int i = 0; i < 4; ++i) put(8 + i, 23 + 2 * static_cast<std::size_t>(i));
    put(12, 31);
    // The trim's high bits, range and value: the figures the chip reports at 29-31.
    for (int i = 0; i < 3; ++i) put(29 + i, 56 + static_cast<std::size_t>(i));
  } else {
    // Option record entries, so that they land where the chip's protocol
    // variant lays its status reply out. O3 is the trim the chip runs at.
    for (int i = 0; i < 3; ++i) w.record[4 + i] = block[61 + static_cast<std::size_t>(i)];
    w.record[3] = block[59];
    for (int i = 0; i < 4; ++i) w.record[7 + i] = block[23 + 2 * static_cast<std::size_t>(i)];
    w.record[11] = block[31];
    w.record[36] = block[55];
  }
}

OscillatorSetting GroupsSetting(std::uint8_t trim, std::uint8_t range) {
  return {trim, GroupsRangeOf(range)};
}

// The oscillator setting an option block programs, as each family lays it out.
OscillatorSetting BlockTrim(const ChipTraits& chip, std::span<const std::uint8_t> block) {
  const int f = chip.family;
  if (f == 25 || f == 28) return GroupsSetting(block[59], block[60]);
  if (f == 44) return {block[58], block[57] & 0x03};
  if (FamilyIn(f, 45, 52)) return {block[28], block[29] & 0x03, block[30]};
  if (f >= 53) {
    const std::uint8_t mode = block[29];
    const bool locked = (mode & 0x40) != 0;
    const int divider = block[30] & 0x0F;
    // From 7.4 the range sits in bits 4-5 (00 10 20 30); before, the band in
    // bit 7 and the quarter steps in bits 0-1.
    const int range = chip.fw >= 0x74 ? mode & 0x30 : mode & 0x83;
    return {block[28], range, divider, locked};
  }
  return {block[59], block[60] & 0xC0};
}

}  // namespace

std::size_t OptionWriteLength(const ChipTraits& chip) {
  switch (LayoutOf(chip)) {
    case Layout::kOneByteNew:
      return 6;
    case Layout::kOneByteOld:
      return 5;
    case Layout::kOneByteBare:
      return 2;
    case Layout::kFourBytesNew:
      return 13;
    case Layout::kWide33:
      return 33;
    case Layout::kWide21:
      return 21;
    case Layout::kTwenty:
      return 20;
    case Layout::kBlock:
      return BlockStart(chip) + BlockLength(chip.family);
  }
  return 0;
}

std::optional<OptionWrite> DecodeOptionWrite(const ChipTraits& chip,
                                             std::span<const std::uint8_t> p, std::string& why) {
  const Layout layout = LayoutOf(chip);
  const std::size_t length = OptionWriteLength(chip);
  if (p.size() != length) {
    why = "the option write has " + std::to_string(p.size()) + " bytes, this chip takes " +
          std::to_string(length);
    return std::nullopt;
  }
  const bool old =
      layout != Layout::kOneByteNew && layout != Layout::kFourBytesNew && layout != Layout::kBlock;
  if (old && p[0] != kOldWrite) {
    why = "this chip takes its options with 8D";
    return std::nullopt;
  }
  if (!old && !CheckNewHeader(chip, p, why)) return std::nullopt;

  OptionWrite w;
  w.record_in_reply = old;
  switch (layout) {
    case Layout::kOneByteNew:
      w.record = {{0, p[5]}};
      break;
    case Layout::kOneByteOld:
      if (p[2] != 0xFF || p[3] != 0xF6 || p[4] != 0xFF) {
        why = "the 8D option write does not end FF F6 FF";
        return std::nullopt;
      }
      w.record = {{0, p[1]}};
      break;
    case Layout::kOneByteBare:
      w.record = {{0, p[1]}};
      break;
    case Layout::kFourBytesNew:
      if (FamilyIn(chip.family, 11, 14) || FamilyIn(chip.family, 21, 24)) {
        w.record = {{4, p[9]}, {2, p[10]}, {1, p[11]}, {0, p[12]}};
      } else {
        w.record = {{2, p[9]}, {1, p[10]}, {0, p[11]}, {6, p[12]}};
      }
      break;
    case Layout::kWide33: {
      // The options and the clock appear twice; the copies must agree.
      const bool family7 = chip.family == 7;
      const std::set<std::size_t> named = {0,  1,  2,  3,  5,  6,  7,  8, 9,
                                           10, 12, 13, 18, 26, 27, 28, 29};
      if (!CheckFillers(p, named, 0, why)) return std::nullopt;
      const bool copies = p[12] == p[1] && p[13] == p[2] && p[18] == p[3] && p[26] == p[6] &&
                          p[27] == p[7] && p[28] == p[8] && p[29] == p[9] &&
                          p[5] == (family7 ? p[10] : kUnused);
      if (!copies) {
        why = "the copies inside the 33-byte option write disagree";
        return std::nullopt;
      }
      w.record = {{0, p[1]}, {1, p[2]}, {2, p[3]}, {6, p[10]}};
      break;
    }
    case Layout::kWide21:
      if (!CheckFillers(p, {0, 1, 2, 3, 9, 17, 18, 19, 20}, 0, why)) return std::nullopt;
      w.record = {{0, p[1]}, {1, p[2]}, {2, p[3]}, {4, p[9]}};
      break;
    case Layout::kTwenty:
      if (!CheckFillers(p, {0, 1, 2, 3, 4, 5, 13}, 0, why)) return std::nullopt;
      for (int i = 0; i <= 12; ++i) w.record[i] = p[1 + static_cast<std::size_t>(i)];
      w.trim = GroupsSetting(p[5], p[4]);
      break;
    case Layout::kBlock: {
      const std::size_t start = BlockStart(chip);
      if (!CheckFillers(p, NamedBlockBytes(chip.family), start, why)) return std::nullopt;
      MapBlock(chip, p.subspan(start), w);
      if (chip.family >= 25) w.trim = BlockTrim(chip, p.subspan(start));
      break;
    }
  }
  return w;
}

}  // namespace fw::sim
