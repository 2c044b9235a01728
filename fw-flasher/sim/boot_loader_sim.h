// A simulated boot loader (optionally behind a simulated download board) on the
// master side of a pseudo-terminal. The flasher opens the slave path.
//
// The line: the host's rate is read from the pseudo-terminal's settings. After
// its status reply the chip's port runs at one rate; bytes the host sends at
// another rate arrive garbled, and so do the chip's bytes at the host. With
// pacing on, both directions take the time a real line would (10 bits a byte,
// 11 with parity), counted on a clock per direction.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/chip_memory.h"
#include "sim/chip_session.h"
#include "sim/download_board_sim.h"
#include "sim/line_clock.h"
#include "sim/measurement_model.h"
#include "sim/running_firmware.h"
#include "sim/sim_faults.h"
#include "sim/sim_framing.h"
#include "sim/status_reply.h"

namespace fw::sim {

struct SimRunConfig {
  bool pace = false;  // carry bytes at the line's pace
  SimFaults faults;
  std::string dump_path;        // the flash, written after each download the host closes
  std::string state_path;       // the rest of the chip's memory as JSON, likewise
  std::string board_dump_path;  // what the board holds as JSON, each time it leaves board mode
  MeasurementModel* measurement = nullptr;  // answers clock measurements; none: refused
  // The user's firmware before the boot loader: the user-interface request it
  // answers and the boot command it may insist on.
  FirmwareConfig firmware;
  // Told each thing the chip found wrong with a command, as it happens.
  std::function<void(const std::string&)> on_note;
};

class BootLoaderSim {
 public:
  BootLoaderSim(SimChipConfig chip, SimBoardConfig board, SimRunConfig run = {});
  ~BootLoaderSim();
  BootLoaderSim(const BootLoaderSim&) = delete;
  BootLoaderSim& operator=(const BootLoaderSim&) = delete;

  // Opens the pseudo-terminal and starts answering. False with error on failure.
  bool Start(std::string& error);
  void Stop();
  const std::string& slave_path() const { return slave_path_; }

  // What the host sent, packet payloads in order.
  std::vector<std::vector<std::uint8_t>> HostPackets() const;
  int status_replies_sent() const { return status_replies_.load(); }
  int board_version() const;
  bool board_updated() const;
  // The board firmware as written by the update: block A, and header + block B.
  std::vector<std::uint8_t> BoardBlockA() const;
  std::vector<std::uint8_t> BoardImage() const;
  int announced_board_blocks() const;
  // Everything the board holds, and the same as --dump-board writes it.
  BoardStore Board() const;
  std::string BoardStateJson() const;

  // The chip's flash (code area, then data area) and the rest of its memory.
  std::vector<std::uint8_t> Flash() const;
  std::string StateJson() const;
  int downloads() const;
  // What the chip found wrong with the host's commands so far.
  std::vector<std::string> Notes() const;
  // Bytes that crossed the line at a rate the other end was not set to.
  int garbled_bytes() const { return garbled_.load(); }
  // The rate the chip's port runs at (0 before the first synchronisation).
  int line_rate() const { return line_rate_now_.load(); }
  // The firmware's user-interface requests answered and boot commands taken,
  // and the bytes that came after its last reply.
  int ui_requests_answered() const;
  int boot_commands_taken() const;
  std::vector<std::uint8_t> BytesAfterUiReply() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct IncomingByte {
    std::uint8_t value;
    int host_rate;
    Clock::time_point due;
  };
  struct Transmission {
    std::vector<std::uint8_t> bytes;
    double rate = 0;
    bool await_host = false;
    Clock::time_point await_until{};
    double rate_after = 0;
    bool measurement = false;
    bool started = false;
    std::vector<Clock::time_point> due;
    std::size_t sent = 0;
    // The board's own bytes, at the host's rate; all others are the chip's and
    // reach the host through the board's chip side when there is a board.
    bool from_board = false;
  };

  void Run(std::stop_token stop);
  void ReadHost(Clock::time_point now);
  void DeliverIncoming(Clock::time_point now);
  void TakeByte(const IncomingByte& byte, Clock::time_point now);
  void PumpOutgoing(Clock::time_point now);
  Clock::time_point NextWake(Clock::time_point now) const;
  bool Measuring(Clock::time_point now) const;
  void Rearm();
  // A measurement reply waits for the host's sync bytes; a new command or
  // synchronisation drops it.
  void TakeMeasureSync(std::uint8_t byte);
  void DropHeldMeasurement();

  void OnPacket(const std::vector<std::uint8_t>& payload);
  void OnLooseByte(std::uint8_t byte);
  void OnBoardPacket(const std::vector<std::uint8_t>& payload);
  void OnChipPacket(const std::vector<std::uint8_t>& payload);
  void OnChipCommand(const std::vector<std::uint8_t>& payload);
  void SendStatus(int reply_code);
  void Send(const std::vector<std::uint8_t>& payload, bool wide);
  // The board's own bytes to the host: a packet, or bytes outside any frame.
  void SendFromBoard(std::vector<std::uint8_t> bytes, bool as_packet);
  // Whether the other end of the chip's port (the host's line, or the board's
  // chip side) runs at this rate.
  bool ChipPeerAt(double rate) const;
  // Bytes that are no packet (the firmware's reply), at the host's rate.
  void SendRaw(const std::vector<std::uint8_t>& bytes, int rate);
  // A byte for the firmware while it runs; true when the boot loader must not see it.
  bool FirmwareTakes(const IncomingByte& byte);
  void Queue(const ChipReply& reply, bool wide);
  void NewSession();
  void EndOfDownload();
  void Note(const std::string& text);
  void SetLineRate(double rate);
  bool ChipUsesWideChecksum() const;
  int BitsPerByte() const;

  SimChipConfig chip_;
  SimRunConfig run_;
  ChipTraits traits_;
  int master_fd_ = -1;
  int slave_fd_ = -1;
  std::string slave_path_;
  std::jthread thread_;
  HostByteParser parser_;

  // Line state, touched by the simulator thread only.
  std::deque<IncomingByte> incoming_;
  std::deque<Transmission> outgoing_;
  LineClock host_to_chip_;
  LineClock chip_to_host_;
  double line_rate_ = 0;  // the chip's port; 0 until the first synchronisation
  bool measuring_ = false;
  struct HeldMeasurement {
    Transmission reply;
    std::uint8_t sync = 0;
    int syncs_seen = 0;
    bool noted = false;
    Clock::time_point since{};
  };
  std::optional<HeldMeasurement> held_;
  Clock::time_point measure_grace_until_{};
  Clock::time_point last_byte_{};
  Clock::time_point last_sent_{};

  // Session state, touched by the simulator thread only.
  bool armed_ = true;  // answers the next sync bytes
  int sync_seen_ = 0;
  std::optional<ChipSession> session_;

  mutable std::mutex mutex_;  // guards what the accessors read
  std::vector<std::vector<std::uint8_t>> host_packets_;
  // Changed under the mutex by the simulator thread, which alone reads it without.
  DownloadBoardSim board_;
  ChipMemory memory_;
  RunningFirmware firmware_;
  std::vector<std::string> notes_;
  std::atomic<int> status_replies_{0};
  std::atomic<int> garbled_{0};
  std::atomic<int> line_rate_now_{0};
};

}  // namespace fw::sim
