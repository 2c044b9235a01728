#include "isp/link/isp_link.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <thread>

#include "messages/message_table.h"

namespace fw {
namespace {

constexpr std::uint8_t kStart = 0x46;
constexpr std::uint8_t kStart2 = 0xB9;
constexpr std::uint8_t kHostToChip = 0x6A;
constexpr std::uint8_t kChipToHost = 0x68;
constexpr std::uint8_t kEnd = 0x16;

void Refill(std::vector<std::uint8_t>& buffer, std::size_t size, std::size_t ff_count) {
  buffer.assign(size, 0x00);
  std::fill_n(buffer.begin(), std::min(size, ff_count), 0xFF);
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

IspLink::IspLink() { Reinitialise(); }

IspLink::~IspLink() = default;

void IspLink::Reinitialise() {
  language = 1;
  quiet_information = 0;
  board_mode = 0;
  timeout_start = 0;
  timeout_length = 0;
  handshake_baud = 2400;
  highest_baud = 115200;
  sync_burst = 1;
  paced_sync = 0;
  baud_pause_override = 0;
  frame_started = 0;
  board_acknowledge = 0;
  std::memset(receive_buffer, 0, sizeof receive_buffer);
  std::memset(send_buffer, 0, sizeof send_buffer);
  received_length = 0;
  rx_state = 0;
  rx_count = 0;
  rx_expected = 5;

  protocol_variant = 0;
  baud_generator_variant = 0;
  expected_chip_id = 0;
  std::fill(std::begin(alternative_ids), std::end(alternative_ids), 0);
  board_p1 = board_p2 = board_p3 = board_p4 = 0;
  download_count = 0;
  std::memset(status_record, 0, sizeof status_record);
  reply_length_byte = 0;
  fw_version = fw_letter = fw_build = sub_model = 0;
  chip_id = 0xFFFF;
  chip_index = 0;
  std::memset(chip_name, 0, sizeof chip_name);
  block_size = 128;
  option_capable_firmware = 0;
  accept_any_chip = 0;

  measured_frequency = 22118400;
  adjusted_frequency = 0;
  set_frequency = 11059200;
  trim_error = 0.0f;
  frequency_adjusted = 0;
  frequency_override = 0;
  link_kind = 0;
  std::memset(chip_serial, 0, sizeof chip_serial);

  Refill(code_image, 196608, 65536);
  Refill(image_source, 131072, 65536);
  Refill(extra_records, 131072, 65536);
  Refill(user_key, 256, 256);
  Refill(option_bytes, 32, 32);
  Refill(app_block, 256, 0);
  Refill(app_image, 65536, 65536);
  Refill(board_block_b, 16384, 8192);
  Refill(board_block_a, 2048, 1024);
  Refill(app_small_a, 256, 256);
  Refill(app_small_b, 256, 256);
  Refill(app_table, 4096, 4096);
  board_block_a_length = 0;
  board_block_b_length = 0;
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
  std::vector<std::uint8_t> packet(static_cast<std::size_t>(n) + 8);
  packet[0] = kStart;
  packet[1] = kStart2;
  packet[2] = kHostToChip;
  packet[3] = 0x00;
  packet[4] = static_cast<std::uint8_t>(n + (wide ? 6 : 5));
  if (n > 0 && payload != nullptr) std::memcpy(&packet[5], payload, static_cast<std::size_t>(n));
  const std::uint32_t sum = ByteSum(packet.data(), n + 3, 2);
  int at = 5 + n;
  if (wide) {
    packet[at++] = static_cast<std::uint8_t>(sum >> 8);
    packet[at++] = static_cast<std::uint8_t>(sum);
  } else {
    packet[at++] = static_cast<std::uint8_t>(sum);
  }
  packet[at++] = kEnd;
  WriteRaw(packet.data(), at);
}

void IspLink::ExamineHeaderByte(std::uint8_t byte) {
  if (byte == kStart) {
    frame_started = 1;
    rx_state = 1;
  } else if (byte == kChipToHost) {
    frame_started = 1;
    rx_state = 3;
  } else {
    if (board_mode != 0 && byte == 0x02) board_acknowledge = 1;
    if (paced_sync == 0) frame_started = 0;
    rx_state = 0;
  }
}

bool IspLink::ReceivePacket(std::uint8_t* buffer, bool verify) {
  if (buffer == nullptr) {
    rx_expected = 5;
    rx_state = 0;
    rx_count = 0;
    frame_started = 0;
    return false;
  }
  for (;;) {
    if (rx_state < 5) {
      if (ReadRaw(buffer, 1) != 1) return false;
      const std::uint8_t byte = buffer[0];
      switch (rx_state) {
        case 0:
          ExamineHeaderByte(byte);
          break;
        case 1:
          if (byte == kStart2)
            rx_state = 2;
          else
            ExamineHeaderByte(byte);
          break;
        case 2:
          if (byte == kChipToHost)
            rx_state = 3;
          else
            ExamineHeaderByte(byte);
          break;
        case 3:
          if (byte == 0x00)
            rx_state = 4;
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
          rx_expected = byte - 3;
          received_length = byte - 3;
          rx_count = 0;
          rx_state = 5;
          break;
        }
      }
      continue;
    }
    const int got = ReadRaw(buffer + rx_count, rx_expected - rx_count);
    if (got <= 0) return false;
    rx_count += got;
    if (rx_count < rx_expected) continue;
    rx_state = 0;
    if (!verify) return true;
    const std::uint32_t header = 0x68u + static_cast<std::uint32_t>(received_length + 3);
    if (!UsesWideChecksum()) {
      const int k = rx_expected - 2;
      const std::uint32_t v = ByteSum(buffer, k, 0) + header;
      if (buffer[k] == static_cast<std::uint8_t>(v) && buffer[k + 1] == kEnd) return true;
    } else {
      const int k = rx_expected - 3;
      const std::uint32_t v = ByteSum(buffer, k, 0) + header;
      if (buffer[k] == static_cast<std::uint8_t>(v >> 8) &&
          buffer[k + 1] == static_cast<std::uint8_t>(v) && buffer[k + 2] == kEnd) {
        return true;
      }
    }
    // A bad frame is dropped; hunting goes on with the next byte.
  }
}

int IspLink::WaitForReply(int timeout_ms) {
  StartTimeout(timeout_ms);
  ReceivePacket(nullptr, false);
  for (;;) {
    if (!running) return kStepStopped;
    if (TimedOut()) return kStepTimedOut;
    if (ReceivePacket(receive_buffer, true)) return kStepOk;
  }
}

int IspLink::Exchange(const std::uint8_t* payload, int n, int timeout_ms, int expected_code) {
  SendPacket(payload, n);
  const int r = WaitForReply(timeout_ms);
  if (r != kStepOk) return r;
  return receive_buffer[0] == static_cast<std::uint8_t>(expected_code) ? kStepOk : kStepRefused;
}

void IspLink::StartTimeout(int ms) {
  timeout_start = TickCount();
  timeout_length = ms;
}

bool IspLink::TimedOut() const {
  if (timeout_length <= 0) return false;
  return TickCount() - timeout_start >= static_cast<std::uint32_t>(timeout_length);
}

void IspLink::Pause(int ms) const {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void IspLink::ConfigureDirectPort() {
  if (port == nullptr) return;
  port->SetQueueSizes(8192, 8192);
  LineSettings line;
  port->GetLine(line);
  port->SetLine(line);
  port->GetLine(line);
  line.baud = handshake_baud;
  line.binary = true;
  line.data_bits = 8;
  line.parity = protocol_variant != 0 ? Parity::kEven : Parity::kNone;
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

int IspLink::SetBaud(int baud, int ack) {
  if (board_mode == 0) {
    if (ack != -1) {
      int pause = 10;
      if (baud_pause_override > 0) {
        pause = baud_pause_override;
      } else if (handshake_baud == 1200 || handshake_baud == 2400) {
        pause = 200;
      } else if (handshake_baud == 4800) {
        pause = 100;
      } else if (handshake_baud == 9600) {
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
  if (ack != -1) {
    StartTimeout(2000);
    ReceivePacket(nullptr, false);
    std::uint8_t byte = 0;
    for (;;) {
      if (!running) return kStepStopped;
      if (TimedOut()) return kStepTimedOut;
      if (ReadRaw(&byte, 1) == 1) break;
    }
    if (byte != static_cast<std::uint8_t>(ack)) return kStepRefused;
    Pause(100);
  }
  const int code = baud <= 115200 ? baud / 1200 : 0x80 + baud / 115200;
  const std::uint8_t payload[4] = {0xFF, 0x02, static_cast<std::uint8_t>(code),
                                   static_cast<std::uint8_t>(protocol_variant != 0 ? 1 : 0)};
  SendPacket(payload, 4);
  Pause(50);
  return kStepOk;
}

void IspLink::SyncPause(int ms) {
  if (paced_sync == 0) return;
  if (ms == 0) {
    switch (handshake_baud) {
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
  if (progress_sink != nullptr) progress_sink->SetPosition(percent);
  if (echo != nullptr) {
    std::fprintf(echo, " %3d%%\b\b\b\b\b", percent);
    std::fflush(echo);
  }
}

const char* IspLink::GetText(int id) const { return fw::GetText(id, language); }

void LogMessage(IspLink& link, const char* format, ...) {
  if (format == nullptr) {
    if (link.log_sink != nullptr) link.log_sink->Clear();
    return;
  }
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (link.echo != nullptr) {
    std::fputs(text, link.echo);
    std::fflush(link.echo);
  }
  if (link.log_sink != nullptr) link.log_sink->Append(text);
}

}  // namespace fw
