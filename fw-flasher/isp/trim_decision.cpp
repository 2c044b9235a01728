#include "isp/trim_decision.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "isp/link/isp_link.h"
#include "isp/step_support.h"
#include "isp/trim_clock.h"
#include "target/chips/link_chip.h"

namespace fw {
namespace {

// Status reply bytes the decision reads (in the receive buffer).
constexpr int kClockSourceByte = 7;  // bit 0: the chip runs from its internal oscillator
constexpr int kTrimByte = 4;
constexpr int kClockCountHigh = 13;
constexpr int kClockCountLow = 14;
// Option byte 0, bit 0: the options ask for the internal oscillator.
constexpr std::uint8_t kInternalClock = 0x01;
// The range selector that goes with the chip's own trim.
constexpr std::uint8_t kDefaultRange = 0x40;

// The chip's own trim: the status reply's trim byte and its clock count. A
// status record the option report laid out anew no longer holds the count
// there (families 25 and 28 keep FF in its high byte); the report took the
// clock from it already.
void TakeChipTrim(IspLink& link) {
  const std::uint8_t* r = link.framing.receive_buffer;
  link.clock.trim_bytes = {r[kTrimByte], kDefaultRange, r[kTrimByte], kDefaultRange};
  if (!link.target.status_laid_out) {
    const std::int64_t count = r[kClockCountHigh] * 256 + r[kClockCountLow];
    const std::int64_t adjusted = std::min<std::int64_t>(count * link.request.handshake_baud,
                                                         std::numeric_limits<int>::max());
    link.clock.adjusted_frequency = static_cast<int>(std::max<std::int64_t>(adjusted, 0));
  }
  if (!link.request.frequency_override) {
    link.clock.measured_frequency = link.clock.adjusted_frequency;
  }
}

// Puts the status reply back into the receive buffer, marked as running from
// the external clock.
void RestoreStatusAsExternal(IspLink& link) {
  std::uint8_t* r = link.framing.receive_buffer;
  std::memcpy(r, link.target.status_record, TargetIdentity::kStatusRecordSize);
  r[TargetIdentity::kStatusRecordSize] = link.target.reply_length_byte;
  r[kClockSourceByte] &= static_cast<std::uint8_t>(~0x01);
}

}  // namespace

TrimDecision DecideTrim(IspLink& link) {
  if (TraitsOf(link).trim_start == TrimStart::kAlways) return {TrimClock(link), false};
  for (;;) {
    const bool runs_internal = (link.framing.receive_buffer[kClockSourceByte] & 0x01) != 0;
    const bool wants_internal = (link.image.option_bytes[0] & kInternalClock) != 0;
    if (!runs_internal && wants_internal) return {kStepOk, true};
    if (!(runs_internal && wants_internal)) {
      TakeChipTrim(link);
      return {kStepOk, false};
    }
    if (link.target.protocol_variant == 4) return {kStepOk, false};
    const StepResult r = TrimClock(link);
    if (r != kStepFailedLogged) return {r, false};
    RestoreStatusAsExternal(link);
    // Not trimmed, the chip goes on at its own trim and clock, as one that is
    // not asked to trim: the switch names that setting, and the options
    // program it rather than trim bytes no step has set.
    TakeChipTrim(link);
  }
}

}  // namespace fw
