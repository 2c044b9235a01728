#include "isp/handshake.h"

#include <algorithm>
#include <cstring>

#include "isp/link/isp_link.h"
#include "target/download_board.h"

namespace fw {
namespace {

constexpr std::uint8_t kSyncByte = 0x7F;
constexpr int kMaxSyncBurst = 8;

void SendBytes(IspLink& link, std::initializer_list<std::uint8_t> payload) {
  std::copy(payload.begin(), payload.end(), link.send_buffer);
  link.SendPacket(link.send_buffer, static_cast<int>(payload.size()));
}

// Board mode: the board relays at the handshake rate and then contacts the chip.
void StartBoardAttempt(IspLink& link) {
  link.SetBaud(link.handshake_baud, -1);
  const std::uint8_t p1 = link.board_p1;
  SendBytes(link, {0xFF, 0x04, 0x00});
  SendBytes(link, {0xFF, 0x01, p1});
  SendBytes(link, {0xFF, static_cast<std::uint8_t>(link.board_p2 != 0 ? 0x05 : 0x03), p1});
  const std::uint8_t repeat = (link.download_count != 0 && link.board_p4 != 0) ? 1 : 0;
  SendBytes(link, {0xF8, p1, link.paced_sync, static_cast<std::uint8_t>(link.board_p2 != 0 ? 5 : 3),
                   link.board_p3, repeat});
}

void WriteSync(IspLink& link, int count) {
  std::uint8_t burst[kMaxSyncBurst];
  std::fill(std::begin(burst), std::end(burst), kSyncByte);
  link.WriteRaw(burst, count);
}

// The second exchange after reply 0x80: the chip must answer the packet 80 with 0x50.
// The packet is not built in the send buffer: the option report reads its first
// byte as the last option request, and the status reply that follows must be
// decoded as the chip's own options.
int ConfirmAfter80(IspLink& link) {
  link.Pause(50);
  const std::uint8_t confirm[1] = {0x80};
  link.SendPacket(confirm, 1);
  link.StartTimeout(5000);
  link.ReceivePacket(nullptr, false);
  for (;;) {
    if (!link.running) return kStepStopped;
    if (link.TimedOut()) return kStepTimedOut;
    if (link.frame_started == 0 && link.board_mode == 0) {
      WriteSync(link, 1);
      link.SyncPause(0);
    }
    if (link.ReceivePacket(link.receive_buffer, true)) break;
  }
  return link.receive_buffer[0] == 0x50 ? kStepOk : kStepRefused;
}

}  // namespace

int Handshake(IspLink& link) {
  LogMessage(link, link.GetText(8000));
  // A burst of zero bytes would never wake the boot loader: send at least one.
  const int burst = std::clamp(link.sync_burst, 1, kMaxSyncBurst);
  for (;;) {
    if (link.board_mode == 0) {
      link.ConfigureDirectPort();
    } else {
      StartBoardAttempt(link);
    }
    link.StartTimeout(-1);
    link.ReceivePacket(nullptr, false);
    for (;;) {
      if (!link.running) return kStepStopped;
      if (link.frame_started == 0 && link.board_mode == 0) {
        WriteSync(link, burst);
        link.SyncPause(0);
      }
      if (link.ReceivePacket(link.receive_buffer, false)) break;
    }
    const std::uint8_t code = link.receive_buffer[0];
    if (code == 0x51) {
      if (link.board_mode != 0) return kStepRefused;
      const int r = CheckDownloadBoard(link, nullptr);
      if (r == kStepBoardUpdated) {
        LogMessage(link, link.GetText(8001));
        continue;
      }
      if (r == kStepOk) {
        LogMessage(link, link.GetText(8002));
        continue;
      }
      return r;
    }
    if (link.board_mode != 0 && code == 0x52) LogMessage(link, link.GetText(8003));
    if (code == 0x00 || code == 0x50 || code == 0x8F) return kStepOk;
    if (code == 0x80) return ConfirmAfter80(link);
    return kStepRefused;
  }
}

}  // namespace fw
