// The programming run as the boot loader follows it: where each block goes,
// whether it continues the run, and which packets are extra data records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/chip_traits.h"

namespace fw::sim {

struct BlockPlacement {
  bool record = false;  // an extra data record, not a block of the run
  std::uint64_t address = 0;
  std::span<const std::uint8_t> data;
  bool resent = false;  // protocol variants 0-2: header byte 30, the block asked for again
};

class ProgramRun {
 public:
  explicit ProgramRun(const ChipTraits& chip) : chip_(chip) {}

  // Where a program packet goes; nullopt with the reason when it does not fit.
  std::optional<BlockPlacement> Place(std::span<const std::uint8_t> payload, std::string& why);
  // The chip took the block, or asked for it again (protocol variants 0-2).
  void Accepted(const BlockPlacement& block);
  void AskedAgain(const BlockPlacement& block);

 private:
  std::optional<BlockPlacement> PlaceSevenByteHeader(std::span<const std::uint8_t> p,
                                                     std::string& why);
  std::optional<BlockPlacement> PlaceShortHeader(std::span<const std::uint8_t> p, std::string& why);
  bool ContinuesRun(std::uint64_t address, std::size_t length, bool gaps_allowed) const;
  std::uint64_t HighAddress(int low16) const;

  ChipTraits chip_;
  bool started_ = false;      // a block of the run was taken
  std::uint64_t last_ = 0;    // address of the last block taken
  bool asked_again_ = false;  // the last block was asked for again
  std::uint64_t asked_address_ = 0;
  bool records_ = false;  // extra data records have begun
};

}  // namespace fw::sim
