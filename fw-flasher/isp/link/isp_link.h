// The link object that carries one download: port, packet framing, serial
// parameters, target identity, clock figures, buffers and the log and progress
// outputs. One per dialog (or command), re-initialised before each download.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "isp/link/link_outputs.h"
#include "isp/link/serial_port.h"
#include "isp/link/step_result.h"

namespace fw {

class IspLink {
 public:
  static constexpr int kPacketBufferSize = 256;
  static constexpr int kStatusRecordSize = 64;
  static constexpr int kChipNameSize = 32;
  static constexpr int kAlternativeIdSlots = 16;

  IspLink();
  virtual ~IspLink();
  IspLink(const IspLink&) = delete;
  IspLink& operator=(const IspLink&) = delete;

  // All fields to their defaults, buffers refilled. The port, the outputs and
  // the running flag are the application's and stay as they are.
  void Reinitialise();

  // --- Framing ---------------------------------------------------------------
  void SendPacket(const std::uint8_t* payload, int n);
  // Null buffer: resets the receiver, returns false. Otherwise advances the
  // receive state machine with the bytes available; true when a whole frame (and,
  // with verify, a correct one) is in the buffer.
  bool ReceivePacket(std::uint8_t* buffer, bool verify);
  int ReadRaw(std::uint8_t* buffer, int n);
  void WriteRaw(const std::uint8_t* buffer, int n);
  // The wait for a reply after a command was sent: time-out, receiver reset, then
  // verified frames until one comes. 0 with the reply in the receive buffer,
  // 2 on time-out, 3 when running is cleared.
  int WaitForReply(int timeout_ms);
  // Sends the payload, waits, and compares the reply code: 1 on a mismatch.
  int Exchange(const std::uint8_t* payload, int n, int timeout_ms, int expected_code);
  bool UsesWideChecksum() const { return board_mode != 0 || protocol_variant != 0; }

  // --- Time-outs and pacing --------------------------------------------------
  void StartTimeout(int ms);
  bool TimedOut() const;
  int SetBaud(int baud, int ack);
  void SyncPause(int ms);
  // Direct link: queues, handshake baud, parity by protocol variant, time-outs, purge.
  void ConfigureDirectPort();
  // Sleeps ms milliseconds (shared by all steps so tests see one pacing source).
  void Pause(int ms) const;

  // --- Outputs ---------------------------------------------------------------
  void SetProgress(int position, int total);
  const char* GetText(int id) const;

  // Outputs and language.
  LogSink* log_sink = nullptr;
  ProgressSink* progress_sink = nullptr;
  YesNoQuestion* question = nullptr;  // null answers No
  std::FILE* echo = stdout;           // log and progress echo; null for none
  int language = 1;
  std::uint8_t quiet_information = 0;

  // Port and control.
  SerialPort* port = nullptr;  // opened and closed by the application
  std::uint8_t board_mode = 0;
  std::atomic<bool> running{false};
  std::uint32_t timeout_start = 0;
  int timeout_length = 0;

  // Serial parameters.
  int handshake_baud = 2400;
  int highest_baud = 115200;
  int sync_burst = 1;
  std::uint8_t paced_sync = 0;
  int baud_pause_override = 0;

  // Framing state.
  std::uint8_t frame_started = 0;
  std::uint8_t board_acknowledge = 0;
  std::uint8_t receive_buffer[kPacketBufferSize] = {};
  int received_length = 0;
  std::uint8_t send_buffer[kPacketBufferSize] = {};
  int rx_state = 0;
  int rx_count = 0;
  int rx_expected = 5;

  // Target identity (set from the project, then by identification).
  int protocol_variant = 0;
  int baud_generator_variant = 0;
  int expected_chip_id = 0;
  int alternative_ids[kAlternativeIdSlots] = {};
  std::uint8_t board_p1 = 0;
  std::uint8_t board_p2 = 0;
  std::uint8_t board_p3 = 0;
  std::uint8_t board_p4 = 0;
  int download_count = 0;
  std::uint8_t status_record[kStatusRecordSize] = {};
  std::uint8_t reply_length_byte = 0;
  int fw_version = 0;
  int fw_letter = 0;
  int fw_build = 0;
  int sub_model = 0;
  int chip_id = 0xFFFF;
  int chip_index = 0;
  char chip_name[kChipNameSize] = {};
  int block_size = 128;
  std::uint8_t option_capable_firmware = 0;
  // Set by the command line's detect when no chip is named: any known chip passes.
  std::uint8_t accept_any_chip = 0;

  // Clock figures.
  int measured_frequency = 22118400;
  int adjusted_frequency = 0;
  int set_frequency = 11059200;
  float trim_error = 0.0f;
  std::uint8_t frequency_adjusted = 0;
  std::uint8_t frequency_override = 0;
  int link_kind = 0;  // 0 serial port, 1 USB writer
  std::uint8_t chip_serial[7] = {};

  // Buffers, allocated once.
  std::vector<std::uint8_t> code_image;     // 196,608
  std::vector<std::uint8_t> image_source;   // 131,072
  std::vector<std::uint8_t> extra_records;  // 131,072
  std::vector<std::uint8_t> user_key;       // 256
  std::vector<std::uint8_t> option_bytes;   // 32
  std::vector<std::uint8_t> app_block;      // 256, zeroed
  std::vector<std::uint8_t> app_image;      // 65,536
  std::vector<std::uint8_t> board_block_b;  // 16,384, held scrambled
  std::vector<std::uint8_t> board_block_a;  // 2,048
  std::vector<std::uint8_t> app_small_a;    // 256
  std::vector<std::uint8_t> app_small_b;    // 256
  std::vector<std::uint8_t> app_table;      // 4,096
  int board_block_a_length = 0;
  int board_block_b_length = 0;

 private:
  void ExamineHeaderByte(std::uint8_t byte);
};

// Unsigned sum of buffer[offset .. offset + n - 1]; 0 for a null buffer or n <= 0.
std::uint32_t ByteSum(const std::uint8_t* buffer, int n, int offset);

// Milliseconds of a monotonic clock, wrapping like a 32-bit tick count.
std::uint32_t TickCount();

// printf-style: formats into 1,024 bytes, echoes to the link's echo stream and
// appends to its log. A null format clears the log.
void LogMessage(IspLink& link, const char* format, ...);

}  // namespace fw
