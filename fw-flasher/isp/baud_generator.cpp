#include "isp/baud_generator.h"

#include <algorithm>
#include <cmath>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "target/chips/family_traits.h"
#include "target/chips/link_chip.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

using boot_loader::kConfirmBaud;
using boot_loader::kSwitchBaud;
using boot_loader::kTryBaud;

constexpr float kRateTolerance = 0.025f;

// Generator variants.
constexpr int kGeneratorDivideBy = 0;  // 16-bit divisor of the clock, and 1.5 times it
constexpr int kGeneratorQuarter = 1;   // 16-bit divisor of a quarter of the clock
constexpr int kGenerator8Bit = 2;      // 8-bit reload with a mode byte
constexpr int kGenerator16Bit = 3;     // 16-bit reload

// Families 29 and up with the plain divider run no faster than this.
constexpr int kDividerRateLimit = 38400;
// Families 25 and 28 before 7.1: the rate by clock, below and from 20 MHz.
constexpr int kFastClock = 20000000;
constexpr int kSlowClockRate = 28800;
constexpr int kFastClockRate = 57600;
// The word they also carry, 65536 - F / 1200: the boot loader's factor is
// 1/1200 in single precision.
constexpr float kClockPerRateUnit = 0.00083333335f;

BaudSwitchPlan Refused(BaudSwitchPlan::Failure failure) {
  BaudSwitchPlan plan;
  plan.failure = failure;
  return plan;
}

void AddBigEndian16(std::vector<std::uint8_t>& bytes, std::int64_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  bytes.push_back(static_cast<std::uint8_t>(value));
}

// Bytes 1-6 of the command that is tried, then confirmed.
BaudSwitchPlan PlanTriedRate(const IspLink& link, const FamilyTraits& traits) {
  BaudSwitchPlan plan;
  plan.command = kTryBaud;
  const int f = link.clock.measured_frequency;
  const int b = link.request.highest_baud;
  std::uint8_t mode = 0;
  std::uint8_t reload = 0;
  std::optional<ChosenRate> chosen;
  if (link.target.baud_generator_variant == kGenerator8Bit) {
    if (b <= 0) return Refused(BaudSwitchPlan::Failure::kNoRateFits);
    // The slowest generator clock whose reload value fits 8 bits.
    float scale = 1.0f / 384;
    if (f / b / 16 <= 255) {
      mode = 0xC0;
      scale = 1.0f / 16;
    } else if (f / b / 32 <= 255) {
      mode = 0x40;
      scale = 1.0f / 32;
    } else if (f / b / 192 <= 255) {
      mode = 0x80;
      scale = 1.0f / 192;
    }
    chosen = SearchRate(f, {scale, std::nullopt, 255.0f}, b);
    if (chosen) reload = static_cast<std::uint8_t>(256 - chosen->divisor);
    plan.bytes = {mode, reload};
  } else if (link.target.baud_generator_variant == kGenerator16Bit) {
    chosen = SearchRate(f, {1.0f / 32, 2.0f, 65535.0f}, b);
    if (chosen) AddBigEndian16(plan.bytes, 65536 - chosen->divisor);
  } else {
    return Refused(BaudSwitchPlan::Failure::kUnknownGenerator);
  }
  if (!chosen) return Refused(BaudSwitchPlan::Failure::kNoRateFits);
  plan.rate = chosen->rate;
  const std::uint8_t byte1 = plan.bytes[0];
  const std::uint8_t byte2 = plan.bytes[1];
  const int h = link.request.handshake_baud;
  plan.bytes.push_back(static_cast<std::uint8_t>(0xFF - byte1));
  plan.bytes.push_back(static_cast<std::uint8_t>(std::min(2 * (256 - byte2), 254)));
  plan.bytes.push_back(static_cast<std::uint8_t>(std::clamp(20 * (h / 1200), 40, 250)));
  plan.bytes.push_back(ClockRangeCode(traits, f));
  return plan;
}

// Bytes 1-11 of the command with the count word.
BaudSwitchPlan PlanCountedRate(const IspLink& link) {
  BaudSwitchPlan plan;
  plan.command = kConfirmBaud;
  const int f = link.clock.measured_frequency;
  const bool fast = f >= kFastClock;
  const int cap = fast ? kFastClockRate : kSlowClockRate;
  const int b = link.request.highest_baud;
  const int g = b <= 0 ? cap : std::min(b, cap);
  plan.rate = g;
  const int q = f / g;
  const int r = q / 100;
  std::uint8_t byte3 = 0;
  std::uint8_t byte4 = static_cast<std::uint8_t>(-q);
  if (r > 0) {
    byte3 = static_cast<std::uint8_t>(r + 1);
    byte4 = static_cast<std::uint8_t>(-(q / (r + 1)));
  }
  // Single precision, as the rate search: a float product rounded to float
  // before a float subtraction (volatile keeps the two from being fused),
  // which gives 65536 - F / 1200 exactly at the clocks 1200 divides. In double
  // the product lies a hair above F / 1200 and the word one below.
  const volatile float clock_units = static_cast<float>(f) * kClockPerRateUnit;
  const auto rate_count = static_cast<std::int64_t>(65536.0f - clock_units);
  plan.bytes = {static_cast<std::uint8_t>(fast ? 0x98 : 0x58), link.clock.trim_bytes[0], byte3,
                byte4, 0x64};
  AddBigEndian16(plan.bytes, rate_count);
  plan.bytes.push_back(fast ? 0x81 : 0x83);
  plan.bytes.insert(plan.bytes.end(), {0x20, 0xFF, 0x00});
  return plan;
}

// Bytes 1-7 of the switch command.
BaudSwitchPlan PlanSwitch(const IspLink& link, const FamilyTraits& traits) {
  BaudSwitchPlan plan;
  plan.command = kSwitchBaud;
  const int f = link.clock.measured_frequency;
  const int b = link.request.highest_baud;
  plan.bytes = {link.clock.trim_bytes[0], link.clock.trim_bytes[1]};
  std::optional<ChosenRate> chosen;
  if (link.target.baud_generator_variant == kGeneratorDivideBy) {
    chosen = SearchRate(f, {1.0f, 200.0f, 43690.0f}, b);
    if (chosen) {
      const int g = std::min(chosen->rate, kDividerRateLimit);
      const float divided = static_cast<float>(f) / static_cast<float>(g);
      chosen->rate = g;
      chosen->divisor = static_cast<int>(divided + 0.5f);
      AddBigEndian16(plan.bytes, 65536 - chosen->divisor);
      AddBigEndian16(plan.bytes, 65536 - static_cast<std::int64_t>(1.5f * divided + 0.5f));
    }
  } else if (link.target.baud_generator_variant == kGeneratorQuarter) {
    chosen = SearchRate(f, {0.25f, std::nullopt, 65535.0f}, b);
    if (chosen) {
      AddBigEndian16(plan.bytes, 65536 - chosen->divisor);
      plan.bytes.insert(plan.bytes.end(), {0x00, 0x00});
    }
  } else {
    return Refused(BaudSwitchPlan::Failure::kUnknownGenerator);
  }
  if (!chosen) return Refused(BaudSwitchPlan::Failure::kNoRateFits);
  plan.rate = chosen->rate;
  plan.bytes.push_back(ClockRangeCode(traits, f));
  return plan;
}

}  // namespace

std::uint8_t ClockRangeCode(const FamilyTraits& traits, int f) {
  if (traits.clock_range == ClockRangeRule::kFourSteps) {
    if (f < 6000000) return 0x83;
    if (f < 12000000) return 0x82;
    if (f < 24000000) return 0x81;
    return 0x80;
  }
  if (traits.clock_range == ClockRangeRule::kMegahertz) {
    const std::int64_t megahertz = (static_cast<std::int64_t>(f) + 500000) / 1000000;
    return static_cast<std::uint8_t>(0x80 | std::clamp<std::int64_t>(megahertz, 0, 63));
  }
  if (f < 1000000) return 0x87;
  if (f < 2000000) return 0x86;
  if (f < 3000000) return 0x85;
  if (f < 6000000) return 0x84;
  if (f < 12000000) return 0x83;
  if (f < 20000000) return 0x82;
  if (f < 24000000) return 0x81;
  return 0x80;
}

std::uint8_t ClockRangeCode(int family_code, int frequency) {
  return ClockRangeCode(TraitsOf(family_code), frequency);
}

std::optional<ChosenRate> SearchRate(int frequency, const RateSearch& search, int highest_baud) {
  const float clock = static_cast<float>(frequency) * search.scale;
  std::optional<int> fastest;
  for (const int rate : kStandardRates) {
    const float d = clock / static_cast<float>(rate);
    if (search.lowest_divisor && d < *search.lowest_divisor) continue;
    const int m = static_cast<int>(d + 0.5f);
    if (m < 1) continue;
    const float error = (clock / static_cast<float>(m) - static_cast<float>(rate)) / rate;
    if (error > -kRateTolerance && error < kRateTolerance) {
      fastest = rate;
      break;
    }
  }
  std::optional<int> slowest;
  for (auto it = kStandardRates.rbegin(); it != kStandardRates.rend(); ++it) {
    if (clock / static_cast<float>(*it) < search.divisor_limit) {
      slowest = *it;
      break;
    }
  }
  if (!fastest || !slowest) return std::nullopt;
  int g = std::min(highest_baud, *fastest);
  if (g <= *slowest) g = *slowest;
  const int divisor = static_cast<int>(clock / static_cast<float>(g) + 0.5f);
  if (divisor < 1) return std::nullopt;
  return ChosenRate{g, divisor};
}

BaudSwitchPlan PlanBaudSwitch(const IspLink& link) {
  const FamilyTraits& traits = TraitsOf(link);
  const BaudSwitchRule rule = traits.BaudSwitchFor(link.target.fw_version);
  if (rule == BaudSwitchRule::kTryThenConfirm) return PlanTriedRate(link, traits);
  if (rule == BaudSwitchRule::kCount) return PlanCountedRate(link);
  return PlanSwitch(link, traits);
}

}  // namespace fw
