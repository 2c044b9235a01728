// A simulated boot loader (optionally behind a simulated download board) on the
// master side of a pseudo-terminal. The flasher opens the slave path.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_framing.h"
#include "sim/status_reply.h"

namespace fw::sim {

struct SimBoardConfig {
  bool present = false;
  int version = 297;  // byte 1 * 256 + byte 2
  int model_code = 0x50;
  int flash_code = 0;              // 0: no external flash
  int crystal_count = 9216;        // 22.1184 MHz at 2,400 baud
  int version_after_update = 297;  // what the board reports once updated
};

class BootLoaderSim {
 public:
  BootLoaderSim(SimChipConfig chip, SimBoardConfig board);
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

 private:
  void Run(std::stop_token stop);
  void OnPacket(const std::vector<std::uint8_t>& payload);
  void OnLooseByte(std::uint8_t byte);
  void OnBoardCommand(const std::vector<std::uint8_t>& payload);
  void SendStatus(int reply_code);
  void SendBoardIdentity();
  void Send(const std::vector<std::uint8_t>& payload, bool wide);
  void NewSession();
  bool ChipUsesWideChecksum() const;

  SimChipConfig chip_;
  SimBoardConfig board_;
  int master_fd_ = -1;
  int slave_fd_ = -1;
  std::string slave_path_;
  std::jthread thread_;
  HostByteParser parser_;

  // Session state, touched by the simulator thread only.
  bool armed_ = true;  // answers the next sync bytes
  int sync_seen_ = 0;
  bool relaying_ = false;  // board passes packets to the chip
  std::chrono::steady_clock::time_point answered_at_{};

  mutable std::mutex mutex_;  // guards what the accessors read
  std::vector<std::vector<std::uint8_t>> host_packets_;
  std::vector<std::uint8_t> board_block_a_;
  std::vector<std::uint8_t> board_image_;
  int announced_blocks_ = 0;
  int current_board_version_ = 0;
  bool board_updated_ = false;
  std::atomic<int> status_replies_{0};
};

}  // namespace fw::sim
