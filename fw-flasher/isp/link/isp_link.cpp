#include "isp/link/isp_link.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

#include "isp/link/protocol_codes.h"
#include "messages/message_table.h"

namespace fw {
namespace {

// Packet bytes: start, second start byte, direction, end.
constexpr std::uint8_t kStart = 0x46;
constexpr std::uint8_t kStart2 = 0xB9;
constexpr std::uint8_t kHostToChip = 0x6A;
constexpr std::uint8_t kChipToHost = 0x68;
constexpr std::uint8_t kEnd = 0x16;
// Bytes of a packet outside its payload: 46 B9 dir 00 length ... checksum 16.
constexpr int kHeaderBytes = 5;
// The length byte counts from the direction byte to the end byte; the receiver
// holds everything after the length byte.
constexpr int kLengthBeyondReceived = 3;
// A call reads on while bytes keep coming for at most this long, and no read
// asks for more frame bytes than the port waits 40 ms for (10 ms a byte): so a
// line that never falls silent (a firmware that keeps printing, noise) hands
// the wait loop back its stop and time-out checks at least every 50 ms.
constexpr std::uint32_t kReceiveSliceMs = 10;
constexpr int kFrameBytesPerRead = 4;

// Copies what fits of bytes to the start of buffer; returns how many.
int CopyInto(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& buffer) {
  const std::size_t n = std::min(bytes.size(), buffer.size());
  std::copy_n(bytes.begin(), n, buffer.begin());
  return static_cast<int>(n);
}

// Writes text with every CR LF as LF.
void EchoWithLineFeeds(std::FILE* echo, std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t crlf = text.find("\r\n", at);
    const std::size_t end = crlf == std::string_view::npos ? text.size() : crlf;
    std::fwrite(text.data() + at, 1, end - at, echo);
    if (crlf == std::string_view::npos) break;
    std::fputc('\n', echo);
    at = crlf + 2;
  }
}

}  // namespace

std::uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint32_t ByteSum(const std::uint8_t* buffer, int n, int offset) {
  if (buffer == nullptr || n <= 0) return 0;
  std::uint32_t sum = 0;
  for (int i = 0; i < n; ++i) sum += buffer[offset + i];
  return sum;
}

IspLink::~IspLink() = default;

void IspLink::Reinitialise(DownloadRequest asked) {
  request = std::move(asked);
  serial = SerialSettings{};
  framing = FramingState{};
  target = TargetIdentity{};
  clock = ClockFigures{};
  board = BoardState{};
  image = ImageBuffers{};
  placements = ImagePlacements{};
  pauses = PauseRecord{};
  TakeRequest();
}

void IspLink::Expect(const ExpectedChip& chip) {
  request.chip = chip;
  PresetTarget();
}

void IspLink::PresetTarget() {
  const ExpectedChip& chip = request.chip;
  target.chip_index = chip.chip_index;
  target.expected_chip_id = chip.id;
  target.protocol_variant = chip.protocol_variant;
  target.baud_generator_variant = chip.baud_generator_variant;
  std::copy(chip.alternative_ids.begin(), chip.alternative_ids.end(), target.alternative_ids);
  std::snprintf(target.chip_name, sizeof target.chip_name, "%s", chip.name.c_str());
  target.accept_any_chip = chip.accept_any_chip;
}

void IspLink::TakeRequest() {
  PresetTarget();
  CopyInto(request.image_source, image.image_source);
  image.image_length = request.image_length;
  CopyInto(request.option_bytes, image.option_bytes);
  CopyInto(request.user_key, image.user_key);
  clock.measured_frequency = request.frequency_override
                                 ? request.fixed_frequency
                                 : AssumedClock(image.option_bytes[kAssumedClockOptionByte]);

  board.block_a_length = CopyInto(request.board.firmware_a, board.block_a);
  board.block_b_length = CopyInto(request.board.firmware_b, board.block_b);

  placements.serial_numbers = request.serial_numbers;
  UserInterfaceReply& reply = placements.user_interface;
  reply.enabled = request.commands.user_interface.enabled;
  reply.address = request.commands.user_interface_reply_address;
  reply.reply_length =
      std::min(request.commands.user_interface_reply_length, static_cast<int>(reply.reply.size()));
}

int IspLink::ReadRaw(std::uint8_t* buffer, int n) {
  if (port == nullptr || buffer == nullptr || n <= 0) return 0;
  return port->Read(buffer, n);
}

void IspLink::WriteRaw(const std::uint8_t* buffer, int n) {
  if (port == nullptr || buffer == nullptr || n <= 0) return;
  port->Write(buffer, n);
}

void IspLink::SendPacket(const std::uint8_t* payload, int n) {
  if (n < 0) n = 0;
  const bool wide = UsesWideChecksum();
  std::vector<std::uint8_t> packet(static_cast<std::size_t>(n) + kHeaderBytes + 3);
  packet[0] = kStart;
  packet[1] = kStart2;
  packet[2] = kHostToChip;
  packet[3] = 0x00;  // high byte of the length
  packet[4] = static_cast<std::uint8_t>(n + (wide ? 6 : 5));
  if (n > 0 && payload != nullptr) {
    std::memcpy(&packet[kHeaderBytes], payload, static_cast<std::size_t>(n));
  }
  // The sum runs from the direction byte through the payload.
  const std::uint32_t sum = ByteSum(packet.data(), n + 3, 2);
  int at = kHeaderBytes + n;
  if (wide) packet[at++] = static_cast<std::uint8_t>(sum >> 8);
  packet[at++] = static_cast<std::uint8_t>(sum);
  packet[at++] = kEnd;
  WriteRaw(packet.data(), at);
}

void IspLink::ExamineHeaderByte(std::uint8_t byte) {
  if (byte == kStart) {
    framing.frame_started = true;
    framing.rx_state = 1;
  } else if (byte == kChipToHost) {
    framing.frame_started = true;
    framing.rx_state = 3;
  } else {
    if (board.mode && byte == board::kStrayAcknowledge) board.acknowledge = true;
    if (!request.paced_sync) framing.frame_started = false;
    framing.rx_state = 0;
  }
}

bool IspLink::FramePassesChecksum(const std::uint8_t* frame, bool wide) const {
  // The frame holds the payload, one or two checksum bytes and the end byte.
  const int length = framing.received_length;
  const int payload = length - (wide ? 3 : 2);
  if (frame == nullptr || payload < 0 || length > FramingState::kBufferSize) return false;
  // The header's share of the sum: the direction byte, 0x00 and the length byte.
  const std::uint32_t sum = ByteSum(frame, payload, 0) + kChipToHost +
                            static_cast<std::uint32_t>(length + kLengthBeyondReceived);
  if (!wide) {
    return frame[payload] == static_cast<std::uint8_t>(sum) && frame[payload + 1] == kEnd;
  }
  return frame[payload] == static_cast<std::uint8_t>(sum >> 8) &&
         frame[payload + 1] == static_cast<std::uint8_t>(sum) && frame[payload + 2] == kEnd;
}

bool IspLink::ReplyPassesChecksum(bool wide) const {
  return FramePassesChecksum(framing.receive_buffer, wide);
}

bool IspLink::ReceivePacket(std::uint8_t* buffer, bool verify) {
  if (buffer == nullptr) {
    framing.rx_expected = FramingState::kExpectedAfterReset;
    framing.rx_state = 0;
    framing.rx_count = 0;
    framing.frame_started = false;
    return false;
  }
  const std::uint32_t start = TickCount();
  for (int pass = 0;; ++pass) {
    if (pass > 0 && TickCount() - start >= kReceiveSliceMs) return false;
    if (framing.rx_state < 5) {
      if (ReadRaw(buffer, 1) != 1) return false;
      const std::uint8_t byte = buffer[0];
      switch (framing.rx_state) {
        case 0:
          ExamineHeaderByte(byte);
          break;
        case 1:
          if (byte == kStart2)
            framing.rx_state = 2;
          else
            ExamineHeaderByte(byte);
          break;
        case 2:
          if (byte == kChipToHost)
            framing.rx_state = 3;
          else
            ExamineHeaderByte(byte);
          break;
        case 3:
          if (byte == 0x00)  // high byte of the length
            framing.rx_state = 4;
          else
            ExamineHeaderByte(byte);
          break;
        case 4: {
          // A length below the shortest frame cannot be one: it is noise.
          const int shortest = UsesWideChecksum() ? 6 : 5;
          if (byte < shortest) {
            ExamineHeaderByte(byte);
            break;
          }
          framing.rx_expected = byte - kLengthBeyondReceived;
          framing.received_length = byte - kLengthBeyondReceived;
          framing.rx_count = 0;
          framing.rx_state = 5;
          break;
        }
      }
      continue;
    }
    const int got = ReadRaw(buffer + framing.rx_count,
                            std::min(framing.rx_expected - framing.rx_count, kFrameBytesPerRead));
    if (got <= 0) return false;
    framing.rx_count += got;
    if (framing.rx_count < framing.rx_expected) continue;
    framing.rx_state = 0;
    if (!verify || FramePassesChecksum(buffer, UsesWideChecksum())) return true;
    // A bad frame is dropped; hunting goes on with the next byte.
  }
}

int IspLink::ReplyPayloadSize() const {
  const int trailer = UsesWideChecksum() ? 3 : 2;
  return std::clamp(framing.received_length - trailer, 0, FramingState::kBufferSize);
}

int IspLink::ReplyByte(int index) const {
  if (index < 0 || index >= ReplyPayloadSize()) return -1;
  return framing.receive_buffer[index];
}

StepResult IspLink::CheckWait() {
  if (!KeepsRunning()) return kStepStopped;
  if (port != nullptr && port->Lost()) {
    LogMessage(*this, GetText(kMsgPortGone), port->Name().c_str());
    return kStepFailedLogged;
  }
  if (TimedOut()) return kStepTimedOut;
  return kStepOk;
}

StepResult IspLink::WaitForReply(int timeout_ms) {
  StartTimeout(timeout_ms);
  ResetReceiver();
  for (;;) {
    if (const StepResult r = CheckWait(); r != kStepOk) return r;
    if (ReceivePacket(framing.receive_buffer, true)) return kStepOk;
  }
}

StepResult IspLink::Exchange(const std::uint8_t* payload, int n, int timeout_ms,
                             int expected_code) {
  SendPacket(payload, n);
  const StepResult r = WaitForReply(timeout_ms);
  if (r != kStepOk) return r;
  return ReplyCode() == static_cast<std::uint8_t>(expected_code) ? kStepOk : kStepRefused;
}

void IspLink::StartTimeout(int ms) {
  framing.timeout_start = TickCount();
  framing.timeout_length = ms;
}

bool IspLink::TimedOut() const {
  if (framing.timeout_length <= 0) return false;
  return TickCount() - framing.timeout_start >= static_cast<std::uint32_t>(framing.timeout_length);
}

void IspLink::Pause(int ms) {
  if (ms <= 0) return;
  ++pauses.count;
  pauses.total_ms += ms;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void IspLink::ConfigureDirectPort() {
  if (port == nullptr) return;
  constexpr int kQueueBytes = 8192;
  port->SetQueueSizes(kQueueBytes, kQueueBytes);
  LineSettings line;
  port->GetLine(line);
  port->SetLine(line);
  port->GetLine(line);
  line.baud = request.handshake_baud;
  line.binary = true;
  line.data_bits = 8;
  line.parity = target.protocol_variant != 0 ? Parity::kEven : Parity::kNone;
  line.stop_bits = 1;
  port->SetLine(line);
  PortTimeouts timeouts;
  timeouts.read_interval_ms = 0;
  timeouts.read_total_multiplier_ms = 10;
  timeouts.read_total_constant_ms = 0;
  timeouts.write_total_multiplier_ms = 0;
  timeouts.write_total_constant_ms = 5000;
  port->SetTimeouts(timeouts);
  port->Purge();
}

StepResult IspLink::SetBaud(int baud, int ack) {
  if (!board.mode) {
    if (ack != kNoAcknowledgement) {
      // The boot loader needs time to answer at the old rate before it switches.
      int pause = 10;
      if (request.baud_pause_override > 0) {
        pause = request.baud_pause_override;
      } else if (request.handshake_baud == 1200 || request.handshake_baud == 2400) {
        pause = 200;
      } else if (request.handshake_baud == 4800) {
        pause = 100;
      } else if (request.handshake_baud == 9600) {
        pause = 50;
      }
      Pause(pause);
    }
    if (port != nullptr) {
      LineSettings line;
      port->GetLine(line);
      line.baud = baud;
      port->SetLine(line);
      port->Purge();
    }
    return kStepOk;
  }
  if (ack != kNoAcknowledgement) {
    StartTimeout(2000);
    ResetReceiver();
    std::uint8_t byte = 0;
    for (;;) {
      if (const StepResult r = CheckWait(); r != kStepOk) return r;
      if (ReadRaw(&byte, 1) == 1) break;
    }
    if (byte != static_cast<std::uint8_t>(ack)) return kStepRefused;
    Pause(100);
  }
  const int code = baud <= board::kFastBaud ? baud / board::kRateUnit
                                            : board::kRateMultiples + baud / board::kFastBaud;
  const std::uint8_t payload[4] = {board::kControl, board::kSetBaud,
                                   static_cast<std::uint8_t>(code),
                                   static_cast<std::uint8_t>(target.protocol_variant != 0 ? 1 : 0)};
  SendPacket(payload, 4);
  Pause(50);
  return kStepOk;
}

void IspLink::SyncPause(int ms) {
  if (!request.paced_sync) return;
  if (ms == 0) {
    switch (request.handshake_baud) {
      case 1200:
        ms = 70;
        break;
      case 2400:
        ms = 50;
        break;
      case 4800:
        ms = 30;
        break;
      default:
        ms = 10;
        break;
    }
  }
  Pause(ms);
}

void IspLink::SetProgress(int position, int total) {
  const int percent =
      total != 0 ? static_cast<int>(static_cast<long long>(position) * 100 / total) : position;
  if (outputs.progress_sink != nullptr) outputs.progress_sink->SetPosition(percent);
  if (outputs.echo != nullptr && outputs.echo_progress) {
    std::fprintf(outputs.echo, " %3d%%\b\b\b\b\b", percent);
    std::fflush(outputs.echo);
  }
}

const char* IspLink::GetText(int id) const { return fw::GetText(id, request.language); }

void LogMessage(IspLink& link, const char* format, ...) {
  if (format == nullptr) {
    if (link.outputs.log_sink != nullptr) link.outputs.log_sink->Clear();
    return;
  }
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (link.outputs.echo != nullptr) {
    EchoWithLineFeeds(link.outputs.echo, text);
    std::fflush(link.outputs.echo);
  }
  if (link.outputs.log_sink != nullptr) link.outputs.log_sink->Append(text);
}

std::string FormatText(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

void LogText(IspLink& link, std::string_view text) {
  if (link.outputs.echo != nullptr) {
    EchoWithLineFeeds(link.outputs.echo, text);
    std::fflush(link.outputs.echo);
  }
  if (link.outputs.log_sink != nullptr) link.outputs.log_sink->Append(text);
}

}  // namespace fw
