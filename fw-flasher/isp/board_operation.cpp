#include "isp/board_operation.h"

#include <algorithm>

#include "isp/link/isp_link.h"
#include "target/board/download_board.h"
#include "target/board/standalone_board.h"

namespace fw {
namespace {

// A board without external flash keeps at most this much user program (42 KB).
constexpr int kInternalProgramBytes = 43008;
// Byte of the board's identity reply: nonzero when it has external flash.
constexpr int kExternalFlashPresent = 5;

}  // namespace

StepResult RunBoardOperation(IspLink& link, const ShowMessageFn& show_message) {
  if (const StepResult r = ConnectDownloadBoard(link); r != kStepOk) {
    // Something answered that is no download board (a chip's boot loader of
    // another kind, noise): the result line alone would not say so.
    if (r == kStepRefused || r == kStepTimedOut)
      LogMessage(link, link.GetText(kMsgNoBoardAnswered));
    return r;
  }
  // The identity reply is still in the receive buffer: the check waited for no other.
  if (link.framing.receive_buffer[kExternalFlashPresent] == 0 &&
      link.image.image_length > kInternalProgramBytes) {
    if (show_message) show_message(link.GetText(kMsgProgramTooLarge));
    return kStepFailedLogged;
  }

  const std::vector<std::uint8_t>& program = link.request.board.program;
  const auto program_length = std::min(program.size(), link.image.code_image.size());
  std::copy_n(program.begin(), program_length, link.image.code_image.begin());
  link.image.code_length = static_cast<int>(program_length);
  if (const StepResult r = WriteBoardProgram(link); r != kStepOk) return r;

  const auto image_length = static_cast<std::size_t>(
      std::clamp(link.image.image_length, 0, static_cast<int>(link.image.image_source.size())));
  std::copy_n(link.image.image_source.begin(), image_length, link.image.code_image.begin());
  link.image.code_length = static_cast<int>(image_length);
  if (const StepResult r = WriteOfflineImage(link); r != kStepOk) return r;

  LogMessage(link, "\r\n");
  return kStepFinishedEarly;
}

}  // namespace fw
