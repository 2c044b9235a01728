// Decodes the chip's status record: stores the clock frequency in the link and
// logs one line per hardware option in the link's language.
#pragma once

#include "isp/link/framing_state.h"

namespace fw {

class IspLink;

// Decoding groups by family code.
enum class DecodingGroup { kA, kB, kC, kD, kE, kF, kG, kH, kI, kJ, kK, kL };
DecodingGroup GroupOfFamily(int family_code);

// Needs the chip index, version fields, protocol variant, option-capable flag and
// status record that identification sets. Groups F and G under protocol variant 4
// rewrite parts of the status record and the receive buffer; the default option
// bytes of groups C to E and the inverted bits of group F stay in the buffers.
// reply_payload: how many bytes of the receive buffer, from its first, the
// chip's reply carried. Options that a report after an option write would read
// beyond them were not reported back; one line says so in their place.
void ReportOptions(IspLink& link, int reply_payload = FramingState::kBufferSize);

}  // namespace fw
