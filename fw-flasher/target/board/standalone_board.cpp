#include "target/board/standalone_board.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <span>

#include "isp/link/isp_link.h"
#include "target/board/board_requests.h"
#include "target/board/standalone_header.h"

namespace fw {
namespace {

// The requests of stand-alone programming (F1-F3 share their codes with the
// board firmware update; FF 0A 01 before them tells the board which it is).
constexpr std::uint8_t kBeginProgram = 0xF1;  // F1 00
constexpr std::uint8_t kWriteProgram = 0xF2;  // F2 a2 a1 a0 data
constexpr std::uint8_t kEndProgram = 0xF3;    // F3 80
constexpr std::uint8_t kProgramComplete = 0x80;
constexpr std::uint8_t kWriteImage = 0xF4;  // F4 a2 a1 a0 data, header and user program

// The first 64 KB of the code image are filled with 0xFF before the image is built.
constexpr int kFilledImageBytes = 65536;
constexpr int kSettlePauseMs = 10;
constexpr double kSecondsPerTick = 0.001;

double SecondsSince(std::uint32_t start) {
  return static_cast<double>(TickCount() - start) * kSecondsPerTick;
}

}  // namespace

StepResult WriteBoardProgram(IspLink& link) {
  link.Pause(kSettlePauseMs);
  const std::uint32_t start = TickCount();
  LogMessage(link, link.GetText(kMsgPreparingDownload));
  const int length =
      std::clamp(link.image.code_length, 0, static_cast<int>(link.image.code_image.size()));
  SendBoardRequest(link, {kBeginProgram, 0x00});
  if (const StepResult r =
          WaitBoardAcknowledge(link, kBeginProgram, board_requests::kLongAcknowledgeTimeoutMs);
      r != kStepOk) {
    return r;
  }
  if (const StepResult r = SendBoardChunks(link, link.image.code_image.data(), length,
                                           kWriteProgram, kWriteProgram, length);
      r != kStepOk) {
    return r;
  }
  link.SetProgress(0, 0);
  link.Pause(kSettlePauseMs);
  SendBoardRequest(link, {kEndProgram, kProgramComplete});
  if (const StepResult r =
          WaitBoardAcknowledge(link, kEndProgram, board_requests::kLongAcknowledgeTimeoutMs);
      r != kStepOk) {
    return r;
  }
  LogMessage(link, link.GetText(kMsgOkElapsed), SecondsSince(start));
  return kStepOk;
}

StepResult WriteOfflineImage(IspLink& link) {
  const std::uint32_t start = TickCount();
  std::vector<std::uint8_t>& image = link.image.code_image;
  const auto capacity = static_cast<std::int64_t>(image.size()) - kStandAloneHeaderBytes;
  const std::vector<std::uint8_t>& source = link.image.image_source;
  const int image_length = link.image.image_length;
  if (image_length < 0 || image_length > static_cast<std::int64_t>(source.size())) {
    LogMessage(link, link.GetText(kMsgStandAloneImageTooLarge), image_length,
               static_cast<int>(source.size()));
    return kStepFailedLogged;
  }
  std::fill_n(image.begin(), kFilledImageBytes, 0xFF);
  const std::span<std::uint8_t> header(image.data(), kStandAloneHeaderBytes);
  const std::int64_t n = FillStandAloneHeader(link, header);
  const std::int64_t f = StandAloneProgramSize(link, n);
  // Serial numbers, the reply area or the chip's code size may reach past the
  // user program: the board then checks and receives 0xFF there, up to the end
  // of what the image buffer can hold.
  const std::int64_t end = std::max(n, f);
  if (end > capacity || f < 0) {
    LogMessage(link, link.GetText(kMsgStandAloneImageTooLarge),
               static_cast<int>(std::min<std::int64_t>(end, INT32_MAX)),
               static_cast<int>(capacity));
    return kStepFailedLogged;
  }
  std::uint8_t* program = image.data() + kStandAloneHeaderBytes;
  std::fill_n(program, end, 0xFF);
  std::copy_n(source.begin(), image_length, program);
  CompleteStandAloneHeader(header, ByteSum(program, static_cast<int>(n), 0), f);

  link.image.code_length = static_cast<int>(f) + kStandAloneHeaderBytes;
  LogMessage(link, link.GetText(kMsgProgrammingCode));
  link.SetProgress(0, 0);
  if (const StepResult r = SendBoardChunks(link, image.data(), link.image.code_length, kWriteImage,
                                           kWriteImage, link.image.code_length);
      r != kStepOk) {
    return r;
  }
  link.SetProgress(0, 0);
  LogMessage(link, link.GetText(kMsgOkElapsed), SecondsSince(start));
  return kStepOk;
}

}  // namespace fw
