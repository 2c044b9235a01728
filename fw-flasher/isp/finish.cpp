#include "isp/finish.h"

#include <initializer_list>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "isp/step_support.h"

namespace fw {
namespace {

constexpr int kReleasePauseMs = 50;
constexpr int kBoardPauseMs = 100;

void Send(IspLink& link, std::initializer_list<std::uint8_t> payload) {
  CommandBuilder command(link);
  command.Add(payload);
  link.SendPacket(command.data(), command.size());
}

}  // namespace

StepResult Finish(IspLink& link, bool success) {
  const auto s = static_cast<std::uint8_t>(success ? 1 : 0);
  if (link.target.protocol_variant < 3) {
    Send(link, {boot_loader::kReleaseChip});
    link.Pause(kReleasePauseMs);
  }
  if (!link.board.mode) return kStepOk;
  if (!link.request.board.p4) Send(link, {board::kControl});
  Send(link, {board::kControl, board::kResult, s});
  link.Pause(kBoardPauseMs);
  Send(link, {board::kControl, board::kEndSignal, board::kEndSignalArgument});
  if (link.request.run_mode != RunMode::kBoard) {
    if (link.request.board.p4) {
      link.Pause(kBoardPauseMs);
      Send(link,
           {board::kControl, link.request.board.p2 ? board::kSetUpWithP2 : board::kSetUpWithoutP2,
            link.request.board.p1});
    }
    if (!link.request.silent) {
      link.Pause(kBoardPauseMs);
      Send(link, {board::kControl, board::kResultSignal, s});
    }
  }
  Send(link, {board::kControl, board::kLeaveBoardMode});
  return kStepOk;
}

}  // namespace fw
