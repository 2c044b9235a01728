// The download board's own requests: a payload sent in board mode, the board's
// acknowledgement (the request code followed by 'T'), and data written in
// acknowledged chunks of 128 bytes at 24-bit offsets.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

namespace board_requests {
constexpr int kChunk = 128;
constexpr int kAcknowledgeTimeoutMs = 2000;
constexpr int kLongAcknowledgeTimeoutMs = 10000;
}  // namespace board_requests

void SendBoardRequest(IspLink& link, std::initializer_list<std::uint8_t> payload);

// Waits for the acknowledgement of the request just sent: kStepRefused for a
// reply with another code or second byte, kStepTimedOut, kStepStopped.
StepResult WaitBoardAcknowledge(IspLink& link, std::uint8_t code, int timeout_ms);

// Sends bytes[0, length) in chunks of 128 with their offsets, each acknowledged
// within 2,000 ms: chunks below high_from with low_code, the others with
// high_code. Progress follows the offset.
StepResult SendBoardChunks(IspLink& link, const std::uint8_t* bytes, int length,
                           std::uint8_t low_code, std::uint8_t high_code, int high_from);

}  // namespace fw
