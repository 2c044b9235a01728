#include "isp/handshake.h"

#include <algorithm>
#include <initializer_list>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "target/board/download_board.h"

namespace fw {
namespace {

constexpr int kMaxSyncBurst = 8;
constexpr int kConfirmPauseMs = 50;
constexpr int kConfirmTimeoutMs = 5000;
// While nothing is known of the chip, the line's parity changes this often
// until a reply comes.
constexpr int kParityTrialMs = 500;

void SendBytes(IspLink& link, std::initializer_list<std::uint8_t> payload) {
  std::copy(payload.begin(), payload.end(), link.framing.send_buffer);
  link.SendPacket(link.framing.send_buffer, static_cast<int>(payload.size()));
}

// Board mode: the board relays at the handshake rate and then contacts the chip.
void StartBoardAttempt(IspLink& link) {
  link.SetBaud(link.request.handshake_baud, IspLink::kNoAcknowledgement);
  const std::uint8_t p1 = link.request.board.p1;
  SendBytes(link, {board::kControl, board::kSetUpFirst, 0x00});
  SendBytes(link, {board::kControl, board::kSetUpP1, p1});
  SendBytes(link, {board::kControl,
                   link.request.board.p2 ? board::kSetUpWithP2 : board::kSetUpWithoutP2, p1});
  const bool repeat = link.download_count != 0 && link.request.board.p4;
  SendBytes(link, {board::kStartTarget, p1, static_cast<std::uint8_t>(link.request.paced_sync),
                   link.request.board.p2 ? board::kTargetModeWithP2 : board::kTargetModeWithoutP2,
                   link.request.board.p3, static_cast<std::uint8_t>(repeat)});
}

void WriteSync(IspLink& link, int count) {
  std::uint8_t burst[kMaxSyncBurst];
  std::fill(std::begin(burst), std::end(burst), kSyncByte);
  link.WriteRaw(burst, count);
}

bool TriesBothFramings(const IspLink& link) {
  return link.target.accept_any_chip && !link.board.mode;
}

// With nothing known of the chip, the first verified reply tells its framing:
// 8-bit checksums and no parity (protocol variant 0) or 16-bit checksums and even
// parity (any other). False for a reply that passes neither: noise, or a reply
// spoilt by the wrong parity. (A frame passes both only when its bytes sum to
// less than 256, which no status reply does; the present framing stays then.)
bool AdoptFramingOfReply(IspLink& link) {
  const bool wide = link.UsesWideChecksum();
  if (link.ReplyPassesChecksum(wide)) return true;
  if (!link.ReplyPassesChecksum(!wide)) return false;
  link.target.protocol_variant = wide ? 0 : TargetIdentity::kUnidentifiedWideVariant;
  link.ConfigureDirectPort();
  return true;
}

// The next parity to try on a silent line while nothing is known of the chip.
void SwitchFraming(IspLink& link) {
  link.target.protocol_variant =
      link.target.protocol_variant != 0 ? 0 : TargetIdentity::kUnidentifiedWideVariant;
  link.ConfigureDirectPort();
  link.ResetReceiver();
}

// The second exchange after reply 0x80: the chip must answer the packet 80 with 0x50.
// The packet is not built in the send buffer: the option report reads its first
// byte as the last option request, and the status reply that follows must be
// decoded as the chip's own options.
StepResult ConfirmAfter80(IspLink& link) {
  link.Pause(kConfirmPauseMs);
  const std::uint8_t confirm[1] = {boot_loader::kConfirm};
  link.SendPacket(confirm, 1);
  link.StartTimeout(kConfirmTimeoutMs);
  link.ResetReceiver();
  for (;;) {
    if (const StepResult r = link.CheckWait(); r != kStepOk) return r;
    if (link.MaySendSync()) {
      WriteSync(link, 1);
      link.SyncPause(0);
    }
    if (link.ReceivePacket(link.framing.receive_buffer, true)) break;
  }
  return link.ReplyCode() == boot_loader::kConfirmed ? kStepOk : kStepRefused;
}

// Repeats sync bursts until a frame is complete (unverified, as the reply code
// decides), or the wait ends.
StepResult SyncUntilReply(IspLink& link, int burst) {
  link.StartTimeout(IspLink::kNoTimeout);
  link.ResetReceiver();
  std::uint32_t trial_start = TickCount();
  for (;;) {
    if (const StepResult r = link.CheckWait(); r != kStepOk) return r;
    if (link.MaySendSync()) {
      WriteSync(link, burst);
      link.SyncPause(0);
    }
    if (link.ReceivePacket(link.framing.receive_buffer, false)) {
      if (!TriesBothFramings(link) || AdoptFramingOfReply(link)) return kStepOk;
      link.ResetReceiver();
    }
    if (TriesBothFramings(link) && link.MaySendSync() &&
        TickCount() - trial_start >= static_cast<std::uint32_t>(kParityTrialMs)) {
      SwitchFraming(link);
      trial_start = TickCount();
    }
  }
}

}  // namespace

StepResult Handshake(IspLink& link) {
  LogMessage(link, link.GetText(kMsgCheckingTarget));
  // A burst of zero bytes would never wake the boot loader: send at least one.
  const int burst = std::clamp(link.request.sync_burst, 1, kMaxSyncBurst);
  for (;;) {
    if (!link.board.mode) {
      link.ConfigureDirectPort();
    } else {
      StartBoardAttempt(link);
    }
    if (const StepResult r = SyncUntilReply(link, burst); r != kStepOk) return r;
    const std::uint8_t code = link.ReplyCode();
    if (code == board::kIdentity) {
      if (link.board.mode) return kStepRefused;
      const StepResult r = CheckDownloadBoard(link, nullptr);
      if (r == kStepBoardUpdated) {
        LogMessage(link, link.GetText(kMsgReconnectBoard));
        continue;
      }
      if (r == kStepOk) {
        LogMessage(link, link.GetText(kMsgRecheckingTarget));
        continue;
      }
      return r;
    }
    if (link.board.mode && code == board::kOverCurrent) {
      LogMessage(link, link.GetText(kMsgBoardOverCurrent));
    }
    if (code == boot_loader::kStatusReply00 || code == boot_loader::kStatusReply50 ||
        code == boot_loader::kStatusReply8F) {
      return kStepOk;
    }
    if (code == boot_loader::kConfirmationWanted) return ConfirmAfter80(link);
    return kStepRefused;
  }
}

}  // namespace fw
