#include "target/board/download_board.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "target/board/board_requests.h"
#include "target/board/project_scramble.h"

namespace fw {
namespace {

constexpr int kBoardBlockHeader = 2048;
using board_requests::kLongAcknowledgeTimeoutMs;
constexpr int kBlockBUnit = 512;
// Board versions (byte 1 * 256 + byte 2) at which the identity report and the
// update questions change.
constexpr int kVersionWithCrystalCheck = 289;
constexpr int kVersionWithModel = 284;
constexpr int kVersionWithFlash = 257;
constexpr int kVersionAskAppTooOld = 298;
constexpr int kVersionAskFirmwareOldFrom = 260;
constexpr int kVersionAskFirmwareOldTo = 296;
// The identity reply carries the model code and the crystal count from this
// received length on.
constexpr int kLongIdentityLength = 19;
constexpr double kBoardCrystalHz = 22118400.0;
constexpr double kCrystalTolerancePercent = 0.55;

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
  line.baud = board::kFastBaud;
  line.data_bits = 8;
  line.parity = Parity::kEven;
  line.stop_bits = 1;
  line.binary = true;
  link.port->SetLine(line);
  link.port->Purge();
}

bool AskUpdate(IspLink& link, MessageId question) {
  if (link.outputs.question == nullptr) return false;
  const char* text = link.GetText(question);
  return link.outputs.question->Ask(text != nullptr ? text : "");
}

// The update image's header in front of block B.
void FillUpdateHeader(IspLink& link, std::uint8_t* header, int length_b) {
  header[0] = 0x5A;  // the header's mark
  header[1] = 0xA5;
  const std::uint32_t held_sum = ByteSum(link.board.block_b.data(), length_b, 0);
  header[4] = static_cast<std::uint8_t>(held_sum >> 8);
  header[5] = static_cast<std::uint8_t>(held_sum);
  const auto ulength = static_cast<std::uint32_t>(length_b);
  header[6] = static_cast<std::uint8_t>(ulength >> 24);
  header[7] = static_cast<std::uint8_t>(ulength >> 16);
  header[8] = static_cast<std::uint8_t>(ulength >> 8);
  header[9] = static_cast<std::uint8_t>(ulength);
  header[16] = header[17] = header[18] = header[19] = 0x00;
  if (link.request.board.p2) header[16] |= 0x40;  // the board's P2 flag
  header[50] = 0x00;
  // The header's own sum covers bytes 4 to 1023.
  const std::uint32_t header_sum = ByteSum(header, 1020, 4);
  header[2] = static_cast<std::uint8_t>(header_sum >> 8);
  header[3] = static_cast<std::uint8_t>(header_sum);
}

StepResult UpdateBoardFirmware(IspLink& link, int model_code) {
  LogMessage(link, link.GetText(kMsgUpgradingBoardFirmware));
  // The third byte is the one FF 06 D0 FF left in the send buffer.
  SendBoardRequest(link, {board::kControl, board::kEndCheck, link.framing.send_buffer[2]});
  link.Pause(100);

  // Block A goes to the board as it is.
  const int length_a =
      std::clamp(link.board.block_a_length, 0, static_cast<int>(link.board.block_a.size()));
  std::copy_n(link.board.block_a.begin(), length_a, link.image.code_image.begin());
  SendBoardRequest(link, {board::kBeginBlockA, 0x00});
  if (const StepResult r =
          WaitBoardAcknowledge(link, board::kBeginBlockA, kLongAcknowledgeTimeoutMs);
      r != kStepOk) {
    return r;
  }
  if (const StepResult r = SendBoardChunks(link, link.image.code_image.data(), length_a,
                                           board::kWriteBlockA, board::kWriteBlockA, 0);
      r != kStepOk) {
    return r;
  }

  // Block B follows a 2,048-byte header; its last byte tells the board its model.
  link.SetProgress(0, 0);
  const int length_b =
      std::clamp(link.board.block_b_length, 0, static_cast<int>(link.board.block_b.size()));
  const int code_length = length_b + kBoardBlockHeader;
  std::fill_n(link.image.code_image.begin(), code_length, 0xFF);
  std::uint8_t* block = link.image.code_image.data() + kBoardBlockHeader;
  std::copy_n(link.board.block_b.begin(), length_b, block);
  UnscrambleProjectBytes(block, static_cast<std::size_t>(length_b));
  if (model_code >= 0) block[length_b - 1] = FirmwareModelByte(model_code);
  ScrambleProjectBytes(block, static_cast<std::size_t>(length_b));
  link.Pause(10);

  const auto blocks = static_cast<std::uint8_t>((code_length + kBlockBUnit - 1) / kBlockBUnit);
  SendBoardRequest(link, {board::kAnnounceBlockB, blocks});
  if (const StepResult r =
          WaitBoardAcknowledge(link, board::kAnnounceBlockB, kLongAcknowledgeTimeoutMs);
      r != kStepOk) {
    return r;
  }

  std::uint8_t* header = link.image.code_image.data();
  FillUpdateHeader(link, header, length_b);
  link.SetProgress(0, 0);
  if (const StepResult r = SendBoardChunks(link, header, code_length, board::kWriteHeader,
                                           board::kWriteFirmware, kBoardBlockHeader);
      r != kStepOk) {
    return r;
  }

  link.SetProgress(0, 0);
  SendBoardRequest(link, {board::kControl, board::kEndUpdate, board::kEndUpdateArguments[0],
                          board::kEndUpdateArguments[1], board::kEndUpdateArguments[2]});
  link.Pause(500);
  LogMessage(link, link.GetText(kMsgBoardUpgradeCompleted));
  LogMessage(link, "\r\n");
  SendBoardRequest(link, {board::kControl, board::kLeaveBoardMode});
  link.board.mode = false;
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

StepResult CheckDownloadBoard(IspLink& link, int* version_out) {
  link.board.mode = true;
  const std::uint8_t* reply = link.framing.receive_buffer;
  const int version = reply[1] * 256 + reply[2];
  const bool long_reply = link.framing.received_length >= kLongIdentityLength;
  // The model code is only known from a reply long enough to carry it.
  const int model_code = long_reply ? reply[15] : -1;
  const int flash_code = reply[4];
  const bool flash_present = reply[5] != 0;

  if (version >= kVersionWithCrystalCheck && long_reply) {
    const int crystal_count = reply[16] | reply[17] << 8;
    const double f = static_cast<double>(crystal_count) * link.request.handshake_baud;
    if (std::fabs(kBoardCrystalHz - f) * 100.0 / kBoardCrystalHz > kCrystalTolerancePercent) {
      LogMessage(link, link.GetText(kMsgBoardCrystalDamaged), f * 0.000001);
    }
  }
  if (version >= kVersionWithModel && long_reply) {
    if (auto name = BoardModelName(model_code)) {
      LogMessage(link, link.GetText(kMsgBoardType), *name);
    }
  }
  LogMessage(link, link.GetText(kMsgBoardVersion), reply[1], reply[2]);
  if (version_out != nullptr) *version_out = version;
  if (version >= kVersionWithFlash) {
    if (!flash_present) {
      LogMessage(link, link.GetText(kMsgNoExternalFlash));
    } else if (const char* size = ExternalFlashSizeText(flash_code)) {
      LogMessage(link, link.GetText(kMsgExternalFlashSize), size);
    } else {
      LogMessage(link, link.GetText(kMsgUnknownExternalFlash));
    }
  }
  LogMessage(link, "\r\n");

  SetParityKeepingBaud(link);
  SendBoardRequest(link, {board::kControl, board::kBeforeFastLine, board::kFastLineArgument, 0xFF});
  link.Pause(200);
  SetBoardFastLine(link);

  const bool blocks_present = link.board.block_a_length > 0 && link.board.block_b_length > 0;
  bool update = false;
  if (blocks_present) {
    if (version >= kVersionAskAppTooOld) {
      update = AskUpdate(link, kMsgApplicationTooOldQuestion);
    } else if (version >= kVersionAskFirmwareOldFrom && version <= kVersionAskFirmwareOldTo) {
      update = AskUpdate(link, kMsgBoardFirmwareOldQuestion);
    }
  }
  if (!update) {
    SendBoardRequest(link, {board::kControl, board::kEndCheck, board::kNoUpdate});
    link.Pause(100);
    return kStepOk;
  }
  return UpdateBoardFirmware(link, model_code);
}

StepResult ConnectDownloadBoard(IspLink& link) {
  LogMessage(link, link.GetText(kMsgCheckingBoard));
  for (;;) {
    if (link.port != nullptr) {
      constexpr int kQueueBytes = 8192;
      link.port->SetQueueSizes(kQueueBytes, kQueueBytes);
      LineSettings line;
      link.port->GetLine(line);
      line.baud = link.request.handshake_baud;
      line.data_bits = 8;
      line.parity = Parity::kEven;
      line.stop_bits = 1;
      line.binary = true;
      link.port->SetLine(line);
      link.port->SetTimeouts(PortTimeouts{});
      link.port->Purge();
    }
    link.StartTimeout(IspLink::kNoTimeout);
    link.ResetReceiver();
    for (;;) {
      if (const StepResult r = link.CheckWait(); r != kStepOk) return r;
      // The board itself is asked for, so the board mode does not hold the bytes back.
      if (!link.FrameStarted()) {
        link.WriteRaw(&kSyncByte, 1);
        link.Pause(10);
      }
      if (link.ReceivePacket(link.framing.receive_buffer, false)) break;
    }
    const std::uint8_t code = link.ReplyCode();
    if (code == board::kIdentity) {
      const StepResult r = CheckDownloadBoard(link, nullptr);
      if (r == kStepBoardUpdated) {
        LogMessage(link, link.GetText(kMsgReconnectBoard));
        continue;
      }
      return r;
    }
    if (code == boot_loader::kStatusReply50) {
      // A chip answered: the board is set to pass the line through.
      LogMessage(link, "\r\n");
      LogMessage(link, link.GetText(kMsgBoardConnectFailed));
      return kStepFailedLogged;
    }
    return kStepRefused;
  }
}

}  // namespace fw
