#include "target/board/board_requests.h"

#include <algorithm>
#include <cstring>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"

namespace fw {
namespace {

// Offset bytes (a2 a1 a0) between a write request's code and its data.
constexpr int kChunkHeader = 4;

}  // namespace

void SendBoardRequest(IspLink& link, std::initializer_list<std::uint8_t> payload) {
  std::copy(payload.begin(), payload.end(), link.framing.send_buffer);
  link.SendPacket(link.framing.send_buffer, static_cast<int>(payload.size()));
}

StepResult WaitBoardAcknowledge(IspLink& link, std::uint8_t code, int timeout_ms) {
  if (const StepResult r = link.WaitForReply(timeout_ms); r != kStepOk) return r;
  if (link.ReplyCode() != code || link.framing.receive_buffer[1] != board::kAcknowledged) {
    return kStepRefused;
  }
  return kStepOk;
}

StepResult SendBoardChunks(IspLink& link, const std::uint8_t* bytes, int length,
                           std::uint8_t low_code, std::uint8_t high_code, int high_from) {
  using board_requests::kChunk;
  for (int offset = 0; offset < length; offset += kChunk) {
    const int n = std::min(kChunk, length - offset);
    const std::uint8_t code = offset < high_from ? low_code : high_code;
    link.framing.send_buffer[0] = code;
    link.framing.send_buffer[1] = static_cast<std::uint8_t>(offset >> 16);
    link.framing.send_buffer[2] = static_cast<std::uint8_t>(offset >> 8);
    link.framing.send_buffer[3] = static_cast<std::uint8_t>(offset);
    std::memcpy(link.framing.send_buffer + kChunkHeader, bytes + offset,
                static_cast<std::size_t>(n));
    link.SendPacket(link.framing.send_buffer, kChunkHeader + n);
    if (const StepResult r =
            WaitBoardAcknowledge(link, code, board_requests::kAcknowledgeTimeoutMs);
        r != kStepOk) {
      return r;
    }
    link.SetProgress(offset, length);
  }
  return kStepOk;
}

}  // namespace fw
