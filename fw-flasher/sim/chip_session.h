// One download as the simulated boot loader sees it, from its status reply to
// the host's end packet: each command packet taken, checked against the chip's
// own layouts, carried out on the chip's memory and answered as the chip's
// protocol variant answers it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/chip_memory.h"
#include "sim/chip_traits.h"
#include "sim/measurement_model.h"
#include "sim/program_blocks.h"
#include "sim/sim_faults.h"
#include "sim/status_reply.h"
#include "sim/trim_procedure.h"

namespace fw::sim {

struct ChipReply {
  std::vector<std::uint8_t> payload;
  double rate = 0;           // the chip's line rate while the reply goes out
  bool await_host = false;   // held until the host's port runs at that rate
  double rate_after = 0;     // the chip's line rate once the reply has left
  bool measurement = false;  // answers a clock measurement
  // Held until the host has sent this sync byte: the chip measures against it.
  std::optional<std::uint8_t> await_sync;
};

class ChipSession {
 public:
  // A reply code no step accepts: the chip refuses a command it cannot take.
  static constexpr std::uint8_t kRefused = 0xEE;

  ChipSession(const SimChipConfig& config, ChipMemory& memory, const SimFaults& faults,
              int handshake_rate, MeasurementModel* measurement = nullptr);

  // A command packet's payload; the replies to send, in order (none when the
  // chip stays silent).
  std::vector<ChipReply> OnPacket(std::span<const std::uint8_t> payload);

  const ChipTraits& traits() const { return traits_; }
  bool ended() const { return ended_; }  // the host sent its end packet
  // The last packet asked for a clock measurement: sync bytes follow it.
  bool last_was_measurement() const { return last_was_measurement_; }
  double rate() const { return rate_; }
  // What the chip found wrong since the last call, one line each.
  std::vector<std::string> TakeNotes();

 private:
  std::vector<ChipReply> OnOldVariantPacket(std::span<const std::uint8_t> p);
  std::vector<ChipReply> OnNewVariantPacket(std::span<const std::uint8_t> p);
  std::vector<ChipReply> OnIdCommand(SimStep step, std::span<const std::uint8_t> p,
                                     std::uint8_t reply_code);
  std::vector<ChipReply> OnSwitch(std::span<const std::uint8_t> p);
  std::vector<ChipReply> OnPassword(std::span<const std::uint8_t> p);
  std::vector<ChipReply> OnErase(std::span<const std::uint8_t> p);
  std::vector<ChipReply> OnUserKey(std::span<const std::uint8_t> p);
  std::vector<ChipReply> OnProgram(std::span<const std::uint8_t> p);
  std::vector<ChipReply> OnOptions(std::span<const std::uint8_t> p);
  std::vector<ChipReply> OnOptionsConfirm();
  std::vector<ChipReply> OnNewPassword(std::span<const std::uint8_t> p);
  std::vector<ChipReply> OnMeasure(std::span<const std::uint8_t> p);
  // The clock the chip runs the download at after a switch command: the
  // oscillator setting the command carries, once the host has trimmed it.
  std::optional<double> DownloadClock(std::span<const std::uint8_t> p);
  // Families 26, 27 and 29-43: the trim the status reply shows at byte 4.
  std::uint8_t StatusTrimByte() const;
  void TakeTrim(const OscillatorSetting& setting);

  // The reply to a step, at the chip's current rate, with the faults applied.
  std::vector<ChipReply> Answer(SimStep step, std::vector<std::uint8_t> payload);
  std::vector<ChipReply> Answer(SimStep step, ChipReply reply);
  std::vector<ChipReply> Refuse(SimStep step, const std::string& why);
  // The reply code a command gets under the chip's protocol variant.
  std::uint8_t ReplyCode(std::uint8_t command, std::uint8_t variant0,
                         std::uint8_t variants12) const;
  std::vector<std::uint8_t> OptionRecordReply(std::uint8_t code) const;
  bool GuardsAt(std::span<const std::uint8_t> p, std::size_t at) const;

  SimChipConfig config_;
  ChipTraits traits_;
  ChipMemory& memory_;
  const SimFaults& faults_;
  MeasurementModel* measurement_;
  int handshake_rate_;
  double rate_;
  ProgramRun run_;
  std::vector<std::string> notes_;

  bool ended_ = false;
  bool last_was_measurement_ = false;
  bool measured_ = false;  // the host measured the oscillator in this session
  bool silent_ = false;
  bool unlocked_ = false;            // 05 answered: the erase may follow
  std::vector<std::uint8_t> trial_;  // the 8F trial's bytes
  int key_next_ = -1;                // offset of the user key block expected next
  int blocks_ = 0;                   // program blocks received (not counting repeats)
  int resends_ = 0;                  // times the current block was asked for again
  int option_resends_ = 0;
  bool options_written_ = false;
};

}  // namespace fw::sim
