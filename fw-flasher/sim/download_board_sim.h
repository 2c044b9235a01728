// The simulated download board between the host and the chip: its identity
// reply, its control requests, the update of its own firmware, the programming
// of the board for stand-alone use, and the relaying of a download to the chip
// with its own acknowledgements. Written from the board's requests as the host
// sends them, apart from the flasher's board code.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/chip_traits.h"

namespace fw::sim {

struct SimBoardConfig {
  bool present = false;
  int version = 297;  // byte 1 * 256 + byte 2
  int model_code = 0x50;
  int flash_code = 0;              // 0: no external flash
  int crystal_count = 9216;        // 22.1184 MHz at 2,400 baud
  int version_after_update = 297;  // what the board reports once updated
};

// What the board holds, as it received it.
struct BoardStore {
  int firmware_updates = 0;  // updates the host completed
  std::vector<std::uint8_t> firmware_a;
  std::vector<std::uint8_t> firmware_image;  // the 2,048-byte header, then block B
  int announced_blocks = 0;                  // of 512 bytes, for the header and block B
  std::vector<std::uint8_t> program;         // the control program of stand-alone use
  bool program_finished = false;
  std::vector<std::uint8_t> standalone_image;  // the 2,048-byte header, then the user program
  std::optional<int> last_result;              // what the host told it at the end: 1 success
};

// What the board does with one packet from the host.
struct BoardStep {
  std::vector<std::uint8_t> bare;                  // bytes outside any frame, sent first
  std::vector<std::vector<std::uint8_t>> replies;  // the board's own packets
  bool forward = false;                            // pass the packet on to the chip
  bool contact_chip = false;  // synchronise with the chip and relay its status reply
  bool leave = false;         // the board goes back to waiting for a new contact
  std::vector<std::string> notes;
};

class DownloadBoardSim {
 public:
  // A board without external flash keeps a stand-alone user program of at most
  // this many bytes behind the header.
  static constexpr int kInternalProgramBytes = 43008;
  static constexpr int kHeaderBytes = 2048;

  DownloadBoardSim(const SimBoardConfig& config, const ChipTraits& chip)
      : config_(config), chip_(chip), version_(config.version) {}

  bool present() const { return config_.present; }
  // The synchronisation reached the board: its identity reply. The board first
  // talks to the chip at the host's rate.
  std::vector<std::uint8_t> Contact(int host_rate);
  BoardStep OnPacket(std::span<const std::uint8_t> payload);

  bool relaying() const { return phase_ == Phase::kRelaying; }
  // The rate of the board's port towards the chip.
  double chip_rate() const { return chip_rate_; }
  int version() const { return version_; }
  const BoardStore& store() const { return store_; }

 private:
  enum class Phase { kWaiting, kContacted, kUpdating, kStandAlone, kRelaying };

  void OnControl(std::span<const std::uint8_t> p, BoardStep& step);
  void OnUpdateRequest(std::span<const std::uint8_t> p, BoardStep& step);
  void OnStandAloneRequest(std::span<const std::uint8_t> p, BoardStep& step);
  void OnRelayed(std::span<const std::uint8_t> p, BoardStep& step);
  void Leave(BoardStep& step);
  bool IsProgramPacket(std::span<const std::uint8_t> p) const;

  SimBoardConfig config_;
  ChipTraits chip_;
  Phase phase_ = Phase::kWaiting;
  int version_;
  double chip_rate_ = 0;
  bool update_completed_ = false;  // FF 08 came after the firmware
  BoardStore store_;
};

// The board as JSON: version, firmware_updates, firmware_a, firmware_image,
// announced_blocks, program, program_finished, standalone_header,
// standalone_program (hexadecimal text, null until received) and last_result
// (null, 0 or 1).
std::string BoardJson(const DownloadBoardSim& board);

}  // namespace fw::sim
