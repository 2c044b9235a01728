#include "sim/oscillator.h"

#include <array>
#include <cmath>

#include "sim/sim_text.h"

namespace fw::sim {
namespace {

// How a procedure's boot loader names the oscillator's settings, and where the
// defaults put them: the common clocks (6 to 35 MHz, 11.0592 MHz among them)
// lie inside a range, directly or through the divider, and no count of a
// measurement at 1,200 baud passes 16 bits.
struct Layout {
  std::array<int, 4> ranges;  // selector bytes, lowest frequency first
  int range_count;
  int quarter_steps;  // mask of the selector bits that are quarter steps, or 0
  double range_ratio;
  int middle_trim;
  int top_trim;
  double offset;
  double span;
};

const Layout* LayoutOf(TrimProcedure procedure) {
  static constexpr Layout kGroups = {{0x18, 0x58, 0x98, 0xD8}, 4, 0, 1.75, 128, 255, 7.5e6, 23.4e3};
  static constexpr Layout kDivided = {{0x00}, 1, 0x03, 1.0, 128, 255, 27e6, 72e3};
  static constexpr Layout kSevenBit = {{0, 1, 2, 3}, 4, 0, 1.6, 64, 127, 7.5e6, 30e3};
  static constexpr Layout kTwoTargets = {
      {0xC0, 0x80, 0x40, 0x00}, 4, 0, 1.6, 128, 255, 7e6, 13.7e3};
  static constexpr Layout kTwoBands = {{0x00, 0x80}, 2, 0x03, 1.75, 128, 255, 27e6, 72e3};
  static constexpr Layout kFourBands = {
      {0x00, 0x10, 0x20, 0x30}, 4, 0, 1.4, 128, 255, 17.5e6, 47e3};
  switch (procedure) {
    case TrimProcedure::kGroups:
      return &kGroups;
    case TrimProcedure::kDivided:
      return &kDivided;
    case TrimProcedure::kSevenBit:
      return &kSevenBit;
    case TrimProcedure::kTwoTargets:
      return &kTwoTargets;
    case TrimProcedure::kTwoBands:
      return &kTwoBands;
    case TrimProcedure::kFourBands:
      return &kFourBands;
    case TrimProcedure::kNone:
      break;
  }
  return nullptr;
}

// The bend of a range: at the ends one trim step moves the frequency about
// 3 % more (top) or less (bottom) than at the middle.
constexpr double kBend = 1.0 / 8192;
// A narrow oscillator: ranges 2 % apart, steps a sixteenth of the normal ones.
constexpr double kNarrowRangeStep = 0.02;
constexpr double kNarrowSpan = 1.0 / 16;

}  // namespace

std::optional<OscillatorShape> OscillatorShapeNamed(const std::string& name) {
  if (name == "normal") return OscillatorShape::kNormal;
  if (name == "narrow") return OscillatorShape::kNarrow;
  if (name == "flat") return OscillatorShape::kFlat;
  if (name == "reversed") return OscillatorShape::kReversed;
  return std::nullopt;
}

double Oscillator::Offset(TrimProcedure procedure) const {
  if (config_.offset > 0) return config_.offset;
  const Layout* layout = LayoutOf(procedure);
  return layout != nullptr ? layout->offset : 0;
}

double Oscillator::Span(TrimProcedure procedure) const {
  if (config_.span > 0) return config_.span;
  const Layout* layout = LayoutOf(procedure);
  return layout != nullptr ? layout->span : 0;
}

std::optional<double> Oscillator::Frequency(TrimProcedure procedure, int range, int trim) const {
  const Layout* layout = LayoutOf(procedure);
  if (layout == nullptr || trim < 0 || trim > layout->top_trim) return std::nullopt;
  const int quarters = range & layout->quarter_steps;
  const int base = range & ~layout->quarter_steps;
  int index = -1;
  for (int i = 0; i < layout->range_count; ++i) {
    if (layout->ranges[static_cast<std::size_t>(i)] == base) index = i;
  }
  if (index < 0) return std::nullopt;

  const double offset = Offset(procedure);
  if (config_.shape == OscillatorShape::kFlat) return offset;
  double x = trim + quarters / 4.0 - layout->middle_trim;
  if (config_.shape == OscillatorShape::kReversed) x = -x;
  double scale = std::pow(layout->range_ratio, index);
  double step = Span(procedure);
  if (config_.shape == OscillatorShape::kNarrow) {
    scale = 1 + kNarrowRangeStep * index;
    step *= kNarrowSpan;
  }
  return scale * (offset + step * x * (1 + kBend * x));
}

std::string Oscillator::Problem(TrimProcedure procedure) const {
  const Layout* layout = LayoutOf(procedure);
  if (layout == nullptr) return {};
  for (int i = 0; i < layout->range_count; ++i) {
    const int range = layout->ranges[static_cast<std::size_t>(i)];
    for (int trim = 0; trim <= layout->top_trim; ++trim) {
      const auto f = Frequency(procedure, range, trim);
      if (f && *f <= 0) {
        return "the oscillator would stop at trim " + std::to_string(trim) + " of range " +
               HexByte(range) + ": lower --osc-span or raise --osc-offset";
      }
    }
  }
  return {};
}

}  // namespace fw::sim
