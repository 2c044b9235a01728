// The oscillator trim as a sequence of measurements: a procedure hands out the
// next measurement command, takes the boot loader's reply, and ends with the
// chosen trim setting or with the finding that the oscillator cannot be trimmed.
// Procedures do no I/O; TrimClock carries their commands over the link.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace fw::trim {

// What the procedures read from the link.
struct TrimInputs {
  int family_code = 0;
  int fw_version = 0;
  int handshake_baud = 2400;
  int set_frequency = 11059200;       // T, the frequency asked for
  int measured_frequency = 22118400;  // F, a second target in procedure 4
  std::array<std::uint8_t, 64> status_record{};
};

// One measurement command and how its reply is awaited.
struct Measurement {
  std::vector<std::uint8_t> command;  // payload; its first byte is the command code
  int timeout_ms = 5000;
  std::uint8_t sync_byte = 0xFE;  // written while no reply frame has started
  int sync_pause_ms = 0;          // argument of the link's SyncPause
  std::uint8_t reply_code = 0x00;
};

// The setting a procedure chose. Trim bytes it does not set are left empty and
// keep the link's value.
struct TrimChoice {
  std::array<std::optional<std::uint8_t>, 4> trim_bytes;
  int adjusted_frequency = 0;             // A, reached for the set frequency
  std::optional<int> measured_frequency;  // F, replaced by procedures 1 and 4
};

enum class TrimStatus {
  kMeasure,     // send `measurement` and pass its reply to Continue
  kChosen,      // `choice` holds the result
  kTooNarrow,   // the oscillator's span is too narrow to trim (the skip of procedure 4)
  kUnusable,    // a span, divisor or result makes the measurements unusable
  kShortReply,  // the reply carries fewer bytes than the measurement asked for
};

struct TrimStep {
  TrimStatus status = TrimStatus::kUnusable;
  Measurement measurement;
  TrimChoice choice;
};

// A procedure hands out measurements one at a time; every reply goes back to it
// until it ends with a choice or a reason why there is none.
class TrimProcedure {
 public:
  explicit TrimProcedure(const TrimInputs& inputs) : in_(inputs) {}
  virtual ~TrimProcedure() = default;

  // The first measurement; kUnusable at once for a set frequency of 0 Hz or less.
  TrimStep Start();
  // `reply` is the reply packet's payload (reply code first, no checksum). After
  // the procedure has ended, or before it started, kUnusable.
  TrimStep Continue(std::span<const std::uint8_t> reply);

 protected:
  virtual TrimStep First() = 0;
  // The reply to measurement `index` (0 for the first).
  virtual TrimStep Next(int index, std::span<const std::uint8_t> reply) = 0;

  const TrimInputs in_;

 private:
  bool measuring_ = false;
  int replies_ = 0;
};

// 0 for family codes below 25 (no trim), else 1..6.
int TrimProcedureNumber(int family_code, int fw_version);

// Null when the family code takes no trim.
std::unique_ptr<TrimProcedure> MakeTrimProcedure(const TrimInputs& inputs);

}  // namespace fw::trim
