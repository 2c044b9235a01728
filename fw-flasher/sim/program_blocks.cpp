#include "sim/program_blocks.h"

#include "sim/sim_text.h"

namespace fw::sim {
namespace {

constexpr std::uint8_t kResentMark = 0x30;  // header byte 0 of a block asked for again
constexpr std::uint8_t kFirstBlockBit = 0x20;
constexpr std::uint8_t kLowAreaBit = 0x10;  // the block lies below 64 KiB
constexpr std::uint8_t kRecordCommand = 0x02;
constexpr std::uint64_t kLowArea = 0x10000;
constexpr int kVariantWithoutMarks = 4;  // sends 02 for every block

}  // namespace

std::optional<BlockPlacement> ProgramRun::Place(std::span<const std::uint8_t> payload,
                                                std::string& why) {
  return chip_.variant < 3 ? PlaceSevenByteHeader(payload, why) : PlaceShortHeader(payload, why);
}

void ProgramRun::Accepted(const BlockPlacement& block) {
  if (block.record) {
    records_ = true;
    return;
  }
  started_ = true;
  last_ = block.address;
  asked_again_ = false;
}

void ProgramRun::AskedAgain(const BlockPlacement& block) {
  asked_again_ = true;
  asked_address_ = block.address;
}

bool ProgramRun::ContinuesRun(std::uint64_t address, std::size_t length, bool gaps_allowed) const {
  const std::size_t size = static_cast<std::size_t>(chip_.block_size);
  if (length == 0 || length > size || address % size != 0) return false;
  const std::uint64_t next = started_ ? last_ + size : 0;
  return gaps_allowed ? address >= next : address == next;
}

// 00 (or 30) p3 p2 p1 p0 00 n data: protocol variants 0, 1 and 2.
std::optional<BlockPlacement> ProgramRun::PlaceSevenByteHeader(std::span<const std::uint8_t> p,
                                                               std::string& why) {
  constexpr std::size_t kHeader = 7;
  if (p.size() <= kHeader || (p[0] != 0x00 && p[0] != kResentMark) || p[5] != 0x00) {
    why = "not a block header 00/30 p p p p 00 n with data";
    return std::nullopt;
  }
  BlockPlacement b;
  b.address = std::uint64_t{p[1]} << 24 | std::uint64_t{p[2]} << 16 | p[3] << 8 | p[4];
  b.data = p.subspan(kHeader);
  b.resent = p[0] == kResentMark;
  if (p[6] != b.data.size()) {
    why = "the header counts " + std::to_string(p[6]) + " bytes, the block has " +
          std::to_string(b.data.size());
    return std::nullopt;
  }
  if (b.resent != asked_again_) {
    why = b.resent ? "header byte 30 on a block the chip did not ask for again"
                   : "header byte 00 on a block the chip asked for again";
    return std::nullopt;
  }
  if (b.resent ? b.address != asked_address_ : !ContinuesRun(b.address, b.data.size(), false)) {
    why = "block at " + HexNumber(b.address) + " does not continue the run";
    return std::nullopt;
  }
  return b;
}

std::uint64_t ProgramRun::HighAddress(int low16) const {
  std::uint64_t floor = started_ ? last_ + 1 : kLowArea;
  if (floor < kLowArea) floor = kLowArea;
  std::uint64_t address = (floor & ~std::uint64_t{0xFFFF}) | static_cast<std::uint64_t>(low16);
  if (address < floor) address += kLowArea;
  return address;
}

// K p1 p0 [g1 g2] data: protocol variants 3 and above. Bit 5 of K marks the
// first block, bit 4 a block below 64 KiB; with both clear the block lies above
// 64 KiB, or, on a boot loader from 7.2 on, the packet is an extra data record.
std::optional<BlockPlacement> ProgramRun::PlaceShortHeader(std::span<const std::uint8_t> p,
                                                           std::string& why) {
  const std::size_t header = chip_.fw72() ? 5 : 3;
  if (p.size() <= header) {
    why = "program packet without data";
    return std::nullopt;
  }
  if (chip_.fw72() && (p[3] != chip_.guard1 || p[4] != chip_.guard2)) {
    why = "program packet without the chip's guard bytes";
    return std::nullopt;
  }
  const std::uint8_t code = p[0];
  const std::uint8_t command = code & ~(kFirstBlockBit | kLowAreaBit);
  const int low16 = p[1] << 8 | p[2];
  const std::span<const std::uint8_t> data = p.subspan(header);
  // All-FF blocks may be left out from 7.2 on, below command 40.
  const bool gaps = chip_.fw72() && command < 0x40;
  auto block = [&](std::uint64_t address) {
    return std::optional<BlockPlacement>(BlockPlacement{false, address, data, false});
  };
  auto record = [&]() -> std::optional<BlockPlacement> {
    if (chip_.fw72() && code == kRecordCommand) {
      return BlockPlacement{true, static_cast<std::uint64_t>(low16), data, false};
    }
    why = "block at " + HexNumber(low16) + " does not continue the run";
    return std::nullopt;
  };

  if (chip_.variant == kVariantWithoutMarks) {
    if (code != kRecordCommand) {
      why = "this boot loader programs with 02 only";
      return std::nullopt;
    }
    if (!records_ && ContinuesRun(static_cast<std::uint64_t>(low16), data.size(), gaps)) {
      return block(static_cast<std::uint64_t>(low16));
    }
    return record();
  }
  const std::uint8_t expected = chip_.sequence == SimSequence::kClassic
                                    ? (chip_.fw72() ? kRecordCommand : 0x00)
                                    : kRecordCommand;
  // The newer sequence may also program with 82 (its program variant).
  if (command != expected && !(chip_.sequence == SimSequence::kNewer && command == 0x82)) {
    why = "program command " + HexNumber(command) + " is not one this boot loader takes";
    return std::nullopt;
  }
  switch (code & (kFirstBlockBit | kLowAreaBit)) {
    case kFirstBlockBit | kLowAreaBit:
      if (started_ || low16 != 0 || !ContinuesRun(0, data.size(), false)) {
        why = "first-block mark on a block other than the first at 0";
        return std::nullopt;
      }
      return block(0);
    case kLowAreaBit:
      if (low16 == 0 || (!started_ && !gaps) ||
          !ContinuesRun(static_cast<std::uint64_t>(low16), data.size(), gaps)) {
        why = "block at " + HexNumber(low16) + " does not continue the run";
        return std::nullopt;
      }
      return block(static_cast<std::uint64_t>(low16));
    case 0: {
      const std::uint64_t high = HighAddress(low16);
      if (!records_ && chip_.code_size + chip_.data_size > kLowArea &&
          ContinuesRun(high, data.size(), gaps)) {
        return block(high);
      }
      return record();
    }
    default:
      why = "first-block mark without the below-64-KiB mark";
      return std::nullopt;
  }
}

}  // namespace fw::sim
