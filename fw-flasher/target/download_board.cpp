#include "target/download_board.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "isp/link/isp_link.h"
#include "target/project_scramble.h"

namespace fw {
namespace {

constexpr int kBoardBlockHeader = 2048;
constexpr int kChunk = 128;

struct BoardModel {
  int code;
  const char* name;
};

// Twelve models: four lines, each in a wide-range, 3 V and 5 V supply variant.
constexpr BoardModel kBoardModels[] = {
    {0x50, "QMV-DB5"},      {0x51, "QMV-DB5 (3V)"},      {0x52, "QMV-DB5 (5V)"},
    {0x40, "QMV-DB5 Mini"}, {0x41, "QMV-DB5 Mini (3V)"}, {0x42, "QMV-DB5 Mini (5V)"},
    {0x30, "QMV-DB6"},      {0x31, "QMV-DB6 (3V)"},      {0x32, "QMV-DB6 (5V)"},
    {0x20, "QMV-DB6 Mini"}, {0x21, "QMV-DB6 Mini (3V)"}, {0x22, "QMV-DB6 Mini (5V)"},
};

void Send(IspLink& link, std::initializer_list<std::uint8_t> payload) {
  std::vector<std::uint8_t> bytes(payload);
  std::memcpy(link.send_buffer, bytes.data(), bytes.size());
  link.SendPacket(link.send_buffer, static_cast<int>(bytes.size()));
}

// Waits for the acknowledgement "code 54" of the request just sent.
int WaitAcknowledge(IspLink& link, std::uint8_t code, int timeout_ms) {
  if (int r = link.WaitForReply(timeout_ms); r != kStepOk) return r;
  if (link.receive_buffer[0] != code || link.receive_buffer[1] != 0x54) return kStepRefused;
  return kStepOk;
}

// Sends bytes[0, length) in chunks of 128 with their offsets, each acknowledged.
int SendChunks(IspLink& link, const std::uint8_t* bytes, int length, std::uint8_t low_code,
               std::uint8_t high_code, int high_from) {
  for (int offset = 0; offset < length; offset += kChunk) {
    const int n = std::min(kChunk, length - offset);
    const std::uint8_t code = offset < high_from ? low_code : high_code;
    link.send_buffer[0] = code;
    link.send_buffer[1] = static_cast<std::uint8_t>(offset >> 16);
    link.send_buffer[2] = static_cast<std::uint8_t>(offset >> 8);
    link.send_buffer[3] = static_cast<std::uint8_t>(offset);
    std::memcpy(link.send_buffer + 4, bytes + offset, static_cast<std::size_t>(n));
    link.SendPacket(link.send_buffer, 4 + n);
    if (int r = WaitAcknowledge(link, code, 2000); r != kStepOk) return r;
    link.SetProgress(offset, length);
  }
  return kStepOk;
}

void SetParityKeepingBaud(IspLink& link) {
  if (link.port == nullptr) return;
  LineSettings line;
  link.port->GetLine(line);
  line.parity = Parity::kEven;
  link.port->SetLine(line);
  link.port->Purge();
}

void SetBoardFastLine(IspLink& link) {
  if (link.port == nullptr) return;
  LineSettings line;
  link.port->GetLine(line);
  line.baud = 115200;
  line.data_bits = 8;
  line.parity = Parity::kEven;
  line.stop_bits = 1;
  line.binary = true;
  link.port->SetLine(line);
  link.port->Purge();
}

bool AskUpdate(IspLink& link, int message_id) {
  if (link.question == nullptr) return false;
  const char* text = link.GetText(message_id);
  return link.question->Ask(text != nullptr ? text : "");
}

int UpdateBoardFirmware(IspLink& link, int model_code) {
  LogMessage(link, link.GetText(8101));
  Send(link, {0xFF, 0x0A, link.send_buffer[2]});
  link.Pause(100);

  // Block A goes to the board as it is.
  const int length_a =
      std::clamp(link.board_block_a_length, 0, static_cast<int>(link.board_block_a.size()));
  std::copy_n(link.board_block_a.begin(), length_a, link.code_image.begin());
  Send(link, {0xF1, 0x00});
  if (int r = WaitAcknowledge(link, 0xF1, 10000); r != kStepOk) return r;
  if (int r = SendChunks(link, link.code_image.data(), length_a, 0xF2, 0xF2, 0); r != kStepOk)
    return r;

  // Block B follows a 2,048-byte header; its last byte tells the board its model.
  link.SetProgress(0, 0);
  const int length_b =
      std::clamp(link.board_block_b_length, 0, static_cast<int>(link.board_block_b.size()));
  const int code_length = length_b + kBoardBlockHeader;
  std::fill_n(link.code_image.begin(), code_length, 0xFF);
  std::uint8_t* block = link.code_image.data() + kBoardBlockHeader;
  std::copy_n(link.board_block_b.begin(), length_b, block);
  UnscrambleProjectBytes(block, static_cast<std::size_t>(length_b));
  if (model_code >= 0) block[length_b - 1] = FirmwareModelByte(model_code);
  ScrambleProjectBytes(block, static_cast<std::size_t>(length_b));
  link.Pause(10);

  Send(link, {0xF3, static_cast<std::uint8_t>((code_length + 511) / 512)});
  if (int r = WaitAcknowledge(link, 0xF3, 10000); r != kStepOk) return r;

  std::uint8_t* header = link.code_image.data();
  header[0] = 0x5A;
  header[1] = 0xA5;
  const std::uint32_t held_sum = ByteSum(link.board_block_b.data(), length_b, 0);
  header[4] = static_cast<std::uint8_t>(held_sum >> 8);
  header[5] = static_cast<std::uint8_t>(held_sum);
  const auto ulength = static_cast<std::uint32_t>(length_b);
  header[6] = static_cast<std::uint8_t>(ulength >> 24);
  header[7] = static_cast<std::uint8_t>(ulength >> 16);
  header[8] = static_cast<std::uint8_t>(ulength >> 8);
  header[9] = static_cast<std::uint8_t>(ulength);
  header[16] = header[17] = header[18] = header[19] = 0x00;
  if (link.board_p2 != 0) header[16] |= 0x40;
  header[50] = 0x00;
  const std::uint32_t header_sum = ByteSum(header, 1020, 4);
  header[2] = static_cast<std::uint8_t>(header_sum >> 8);
  header[3] = static_cast<std::uint8_t>(header_sum);

  link.SetProgress(0, 0);
  if (int r = SendChunks(link, header, code_length, 0xF4, 0xF6, kBoardBlockHeader); r != kStepOk)
    return r;

  link.SetProgress(0, 0);
  Send(link, {0xFF, 0x08, 0x20, 0x36, 0xC9});
  link.Pause(500);
  LogMessage(link, link.GetText(8102));
  LogMessage(link, "\r\n");
  Send(link, {0xFF, 0x07});
  link.board_mode = 0;
  return kStepBoardUpdated;
}

}  // namespace

std::optional<const char*> BoardModelName(int model_code) {
  for (const BoardModel& m : kBoardModels) {
    if (m.code == model_code) return m.name;
  }
  return std::nullopt;
}

const char* ExternalFlashSizeText(int size_code) {
  switch (size_code) {
    case 16:
    case 123:
      return "64K";
    case 17:
    case 124:
      return "128K";
    case 18:
    case 125:
      return "256K";
    case 19:
    case 126:
      return "512K";
    case 20:
      return "1M";
    case 21:
      return "2M";
    case 22:
      return "4M";
    case 23:
      return "8M";
    case 24:
      return "16M";
    default:
      return nullptr;
  }
}

std::uint8_t FirmwareModelByte(int model_code) {
  switch (model_code) {
    case 0x00:
    case 0x45:
      return 0xFF;
    case 0x03:
      return 0x11;
    case 0x05:
      return 0x12;
    case 0x13:
      return 0x31;
    case 0x15:
      return 0x32;
    default:
      return static_cast<std::uint8_t>(model_code);
  }
}

int CheckDownloadBoard(IspLink& link, int* version_out) {
  link.board_mode = 1;
  const std::uint8_t* reply = link.receive_buffer;
  const int version = reply[1] * 256 + reply[2];
  const bool long_reply = link.received_length >= 19;
  // The model code is only known from a reply long enough to carry it.
  const int model_code = long_reply ? reply[15] : -1;
  const int flash_code = reply[4];
  const bool flash_present = reply[5] != 0;

  if (version > 288 && long_reply) {
    const int crystal_count = reply[16] | reply[17] << 8;
    const double f = static_cast<double>(crystal_count) * link.handshake_baud;
    if (std::fabs(22118400.0 - f) * 100.0 / 22118400.0 > 0.55)
      LogMessage(link, link.GetText(8094), f * 0.000001);
  }
  if (version >= 284 && long_reply) {
    if (auto name = BoardModelName(model_code)) LogMessage(link, link.GetText(8095), *name);
  }
  LogMessage(link, link.GetText(8096), reply[1], reply[2]);
  if (version_out != nullptr) *version_out = version;
  if (version > 256) {
    if (!flash_present) {
      LogMessage(link, link.GetText(8097));
    } else if (const char* size = ExternalFlashSizeText(flash_code)) {
      LogMessage(link, link.GetText(8098), size);
    } else {
      LogMessage(link, link.GetText(8099));
    }
  }
  LogMessage(link, "\r\n");

  SetParityKeepingBaud(link);
  Send(link, {0xFF, 0x06, 0xD0, 0xFF});
  link.Pause(200);
  SetBoardFastLine(link);

  const bool blocks_present = link.board_block_a_length > 0 && link.board_block_b_length > 0;
  bool update = false;
  if (blocks_present) {
    if (version >= 298) {
      update = AskUpdate(link, 8122);
    } else if (version >= 260 && version <= 296) {
      update = AskUpdate(link, 8123);
    }
  }
  if (!update) {
    Send(link, {0xFF, 0x0A, 0x01});
    link.Pause(100);
    return kStepOk;
  }
  return UpdateBoardFirmware(link, model_code);
}

int ConnectDownloadBoard(IspLink& link) {
  LogMessage(link, link.GetText(8103));
  for (;;) {
    if (link.port != nullptr) {
      link.port->SetQueueSizes(8192, 8192);
      LineSettings line;
      link.port->GetLine(line);
      line.baud = link.handshake_baud;
      line.data_bits = 8;
      line.parity = Parity::kEven;
      line.stop_bits = 1;
      line.binary = true;
      link.port->SetLine(line);
      link.port->SetTimeouts(PortTimeouts{});
      link.port->Purge();
    }
    link.StartTimeout(-1);
    link.ReceivePacket(nullptr, false);
    for (;;) {
      if (!link.running) return kStepStopped;
      if (link.frame_started == 0) {
        const std::uint8_t sync = 0x7F;
        link.WriteRaw(&sync, 1);
        link.Pause(10);
      }
      if (link.ReceivePacket(link.receive_buffer, false)) break;
    }
    const std::uint8_t code = link.receive_buffer[0];
    if (code == 0x51) {
      const int r = CheckDownloadBoard(link, nullptr);
      if (r == kStepBoardUpdated) {
        LogMessage(link, link.GetText(8001));
        continue;
      }
      return r;
    }
    if (code == 0x50) {
      LogMessage(link, "\r\n");
      LogMessage(link, link.GetText(8109));
      return kStepFailedLogged;
    }
    return kStepRefused;
  }
}

}  // namespace fw
