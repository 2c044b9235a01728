// Decodes the chip's status record: stores the clock frequency in the link and
// logs one line per hardware option in the link's language.
#pragma once

namespace fw {

class IspLink;

// Decoding groups by family code.
enum class DecodingGroup { kA, kB, kC, kD, kE, kF, kG, kH, kI, kJ, kK, kL };
DecodingGroup GroupOfFamily(int family_code);

// Needs the chip index, version fields, protocol variant, option-capable flag and
// status record that identification sets. Groups F and G under protocol variant 4
// rewrite parts of the status record and the receive buffer; the default option
// bytes of groups C to E and the inverted bits of group F stay in the buffers.
void ReportOptions(IspLink& link);

}  // namespace fw
