// The link object that carries one download: the port, the packet framing, the
// request that the download was given, and what the download finds and fills
// (target identity, clock figures, download board, image buffers, placements).
// One per dialog (or command), re-initialised with the request before each
// download.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "isp/link/board_state.h"
#include "isp/link/clock_figures.h"
#include "isp/link/download_request.h"
#include "isp/link/framing_state.h"
#include "isp/link/image_buffers.h"
#include "isp/link/image_placements.h"
#include "isp/link/link_outputs.h"
#include "isp/link/serial_port.h"
#include "isp/link/serial_settings.h"
#include "isp/link/step_result.h"
#include "isp/link/target_identity.h"
#include "isp/link/usb_writer_device.h"

namespace fw {

// Every pause the link made since its re-initialisation: what the protocol asks
// for, as against the time the line itself takes.
struct PauseRecord {
  int count = 0;
  std::int64_t total_ms = 0;
};

class IspLink {
 public:
  // StartTimeout's length for a wait that only a reply or a stop ends.
  static constexpr int kNoTimeout = -1;
  // SetBaud's acknowledgement when none is awaited.
  static constexpr int kNoAcknowledgement = -1;

  IspLink() = default;
  virtual ~IspLink();
  IspLink(const IspLink&) = delete;
  IspLink& operator=(const IspLink&) = delete;

  // Every part back to its defaults and the request copied in: the target
  // identity starts as the expected chip, the clock as the one the request
  // assumes, and the buffers and placements are refilled with what it writes.
  // The port, the USB writer, the outputs' sinks, the running flag, the stop
  // request and the download count are the application's and stay as they are.
  void Reinitialise(DownloadRequest asked = {});
  // The request's expected chip replaced, and the target identity preset from it.
  void Expect(const ExpectedChip& chip);

  // --- Framing ---------------------------------------------------------------
  void SendPacket(const std::uint8_t* payload, int n);
  // Null buffer: resets the receiver, returns false. Otherwise advances the
  // receive state machine with the bytes available; true when a whole frame (and,
  // with verify, a correct one) is in the buffer. While bytes keep coming it
  // returns false within 50 ms all the same, so that the wait loop can check its
  // stop and time-out; the state, frame started included, carries over to the
  // next call.
  bool ReceivePacket(std::uint8_t* buffer, bool verify);
  void ResetReceiver() { ReceivePacket(nullptr, false); }
  int ReadRaw(std::uint8_t* buffer, int n);
  void WriteRaw(const std::uint8_t* buffer, int n);
  // The wait for a reply after a command was sent: time-out, receiver reset, then
  // verified frames until one comes. 0 with the reply in the receive buffer,
  // 2 on time-out, 3 when running is cleared, -1 when the port is gone.
  StepResult WaitForReply(int timeout_ms);
  // Sends the payload, waits, and compares the reply code: 1 on a mismatch.
  StepResult Exchange(const std::uint8_t* payload, int n, int timeout_ms, int expected_code);
  bool UsesWideChecksum() const { return board.mode || target.protocol_variant != 0; }
  // The receiver has seen a frame start and not given up on it.
  bool FrameStarted() const { return framing.frame_started; }
  // A sync byte may go out while no frame has started and no board relays.
  bool MaySendSync() const { return !FrameStarted() && !board.mode; }
  std::uint8_t ReplyCode() const { return framing.receive_buffer[0]; }
  // Payload bytes of the frame in the receive buffer (without checksum and end
  // byte), and one of them; -1 for a byte the reply did not carry.
  int ReplyPayloadSize() const;
  int ReplyByte(int index) const;
  // Whether the frame in the receive buffer carries a correct checksum of the
  // given width and its end byte.
  bool ReplyPassesChecksum(bool wide) const;

  // --- Waiting and pacing ----------------------------------------------------
  void StartTimeout(int ms);
  bool TimedOut() const;
  // The checks that open every pass of a wait loop, in this order: 3 when running
  // was cleared or a stop requested, -1 when the port is gone (the log names it), 2 when the
  // time-out passed; 0 to wait on.
  StepResult CheckWait();
  StepResult SetBaud(int baud, int ack);
  void SyncPause(int ms);
  // Direct link: queues, handshake baud, parity by protocol variant, time-outs, purge.
  void ConfigureDirectPort();
  // Sleeps ms milliseconds and notes it in the pause record (shared by all steps
  // so that tests and benchmarks see one pacing source).
  void Pause(int ms);

  // --- Outputs ---------------------------------------------------------------
  void SetProgress(int position, int total);
  const char* GetText(int id) const;

  SerialPort* port = nullptr;  // opened and closed by the application
  // The USB writer of a download through it (serial.link_kind kUsbWriter):
  // opened and closed by that flow; whatever is still open closes with the link.
  std::unique_ptr<UsbWriterDevice> usb_writer;
  std::atomic<bool> running{false};
  // The stop button's request: set by the application's stop, cleared only when
  // the application starts a new run, so that a flow that sets running again
  // at its start cannot undo a stop pressed just before.
  std::atomic<bool> stop_requested{false};
  // What every wait tests: running is set and no stop is requested.
  bool KeepsRunning() const { return running.load() && !stop_requested.load(); }
  // Downloads finished in the current run; the board's handshake command reads it.
  int download_count = 0;

  LinkOutputs outputs;
  // What this download was asked to do, as Reinitialise copied it.
  DownloadRequest request;
  SerialSettings serial;
  FramingState framing;
  TargetIdentity target;
  ClockFigures clock;
  BoardState board;
  ImageBuffers image;
  ImagePlacements placements;
  PauseRecord pauses;

 private:
  // The parts that start from the request: the target identity, the assumed
  // clock, the image buffers, the board firmware and the placements.
  void TakeRequest();
  void PresetTarget();
  void ExamineHeaderByte(std::uint8_t byte);
  bool FramePassesChecksum(const std::uint8_t* frame, bool wide) const;
};

// Unsigned sum of buffer[offset .. offset + n - 1]; 0 for a null buffer or n <= 0.
std::uint32_t ByteSum(const std::uint8_t* buffer, int n, int offset);

// Milliseconds of a monotonic clock, wrapping like a 32-bit tick count.
std::uint32_t TickCount();

// printf-style: formats into 1,024 bytes, appends to the link's log (CR LF line
// ends, as the log window shows them) and echoes to its echo stream with LF line
// ends, as a terminal or a pipe wants them. A null format clears the log.
void LogMessage(IspLink& link, const char* format, ...);

// printf-style, at most 1,023 bytes: a text as LogMessage would log it. The
// formats are the message table's texts, so no format is checked here.
std::string FormatText(const char* format, ...);

// Appends a text whole, as it is, where LogMessage would; for texts of the
// project's own, which may be longer than a log line.
void LogText(IspLink& link, std::string_view text);

}  // namespace fw
