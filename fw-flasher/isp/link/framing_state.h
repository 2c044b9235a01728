// The packet buffers, the resumable receiver and the one time-out of a link.
#pragma once

#include <cstdint>

namespace fw {

struct FramingState {
  static constexpr int kBufferSize = 256;
  // What the receiver expects after a reset: the shortest frame's bytes after its
  // length byte.
  static constexpr int kExpectedAfterReset = 5;

  // Set when the receiver sees a frame start; while set, no sync byte is sent.
  bool frame_started = false;
  // After a frame: the payload, the checksum bytes and the end byte. Byte 0 is
  // the reply code.
  std::uint8_t receive_buffer[kBufferSize] = {};
  // The packet's length byte minus 3; after a USB writer's reply, its data
  // length L.
  int received_length = 0;
  // Steps build command payloads here; byte 0 is the last request's code.
  std::uint8_t send_buffer[kBufferSize] = {};

  // Receiver state kept between calls.
  int rx_state = 0;
  int rx_count = 0;
  int rx_expected = kExpectedAfterReset;

  std::uint32_t timeout_start = 0;  // tick count
  int timeout_length = 0;           // ms; 0 or less never expires
};

}  // namespace fw
