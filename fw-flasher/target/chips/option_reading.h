// The chip's status or option record read into the options it names, without
// touching the link: the clock figures it gives, the option bytes of its
// decoding group and the bytes it lays out anew. The step that reads a record
// applies what lasts of the reading (ApplyOptionReading) itself.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "isp/link/framing_state.h"
#include "target/chips/family_traits.h"

namespace fw {

class IspLink;

// The status record's and the reply's bytes that a reading reads.
constexpr int kReadBytes = 64;
using StatusBytes = std::array<std::uint8_t, kReadBytes>;

// Where the reply bytes come from: the receive buffer after the chip's reply,
// or the options just written, laid out as a status reply; and how many of
// them, from the first, the chip's reply carried.
struct OptionSource {
  std::span<const std::uint8_t> reply;
  int reply_payload = FramingState::kBufferSize;
};

// The receive buffer as the chip's last reply left it; reply_payload as in
// OptionSource (the whole buffer when the reply is a status reply).
OptionSource ReceivedOptions(const IspLink& link, int reply_payload = FramingState::kBufferSize);

// One byte of the status record or the receive buffer that the reading lays
// out anew.
struct ByteWrite {
  int at;
  std::uint8_t value;
};

struct OptionReading {
  DecodingGroup group = DecodingGroup::kL;
  // The reply ended before the options written: they were not reported back.
  bool not_reported_back = false;

  // The chip's clock (Hz) from the record's count: kept as the measured
  // frequency unless the project fixes it, or always where `always` is set.
  std::optional<std::int32_t> measured_frequency;
  bool measured_always = false;
  // Groups F and G under protocol variant 4: the clock becomes the adjusted
  // frequency too, and the status record is laid out anew, once a download.
  std::optional<std::int32_t> adjusted_frequency;
  bool lays_out_status = false;
  // Group F under protocol variant 4 shows the adjusted frequency first, even
  // when the report is otherwise quiet.
  bool adjusted_frequency_first = false;

  // The option bytes O0, O1, ... of groups A to G, as the group numbers them
  // (A and B: O0; C and D: O0, O1, O2, O6; E: O0, O1, O2, O4; F: O0 to O12;
  // G: O0 to O36). Groups H to L name reply and status positions.
  std::array<std::uint8_t, 37> options{};
  // The status record and the reply bytes, with the bytes laid out anew.
  StatusBytes status{};
  StatusBytes reply{};

  // What the reading lays out anew, in the order it does.
  std::vector<ByteWrite> status_writes;
  std::vector<ByteWrite> reply_writes;
};

// Reads the link's status record, the source's reply bytes and the request in
// the send buffer (which says whether new options are pending) as the chip's
// family reads them. Changes nothing.
OptionReading ReadOptions(const IspLink& link, const OptionSource& source);

// What lasts of a reading: the clock figures, the status laid out anew, the
// default option bytes and the inverted bits, in the status record and the
// receive buffer.
void ApplyOptionReading(IspLink& link, const OptionReading& reading);

}  // namespace fw
