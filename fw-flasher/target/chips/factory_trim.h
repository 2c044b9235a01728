// The clock trim of a download through the USB writer: no trim is run, the
// values come from the factory trim values that the chip's status reply
// carries, matched against the frequency the project asks for.
#pragma once

#include <cstdint>
#include <span>

namespace fw {

struct FamilyTraits;

// What the option block takes as the oscillator setting.
struct FactoryTrim {
  std::uint8_t trim_byte_2 = 0;
  std::uint8_t trim_byte_3 = 0;
  int adjusted_frequency = 0;  // Hz
};

// The status reply positions that the choice reads reach up to this size.
inline constexpr int kFactoryTrimStatusBytes = 48;

// status: the status reply (byte 0 the reply code), at least
// kFactoryTrimStatusBytes long; the family (its traits or its code), firmware
// version byte and build of the identified chip; set_frequency the project's
// frequency in Hz.
FactoryTrim ChooseFactoryTrim(std::span<const std::uint8_t> status, const FamilyTraits& traits,
                              int fw_version, int build, int set_frequency);
FactoryTrim ChooseFactoryTrim(std::span<const std::uint8_t> status, int family_code, int fw_version,
                              int build, int set_frequency);

}  // namespace fw
