// The 2,048-byte header in front of the user program that a download board
// keeps for programming chips without a PC: which chip, its options, the serial
// numbers and their steps, the user-interface command, the passwords and the
// user key, as the link holds them for a download. Numbers are big-endian;
// bytes not written stay 0xFF.
#pragma once

#include <cstdint>
#include <span>

namespace fw {

class IspLink;

constexpr int kStandAloneHeaderBytes = 2048;

// Writes every field of the header but its two sums (bytes 2-5) and the
// programmed size (bytes 6-9) into header, which the caller filled with 0xFF.
// Returns n: the bytes of the user program the board checks, the image length
// raised to the end of each enabled serial number, of an enabled
// user-interface reply and, for a family below 45 with bit 1 of option byte 15
// set, to the chip's code size (64-bit: project addresses may be anything).
std::int64_t FillStandAloneHeader(const IspLink& link, std::span<std::uint8_t> header);

// The programmed size for n bytes: n rounded up to 128, for a chip named
// "IRC..." (case ignored) or of id 0xF55F at most its code size minus its tail
// reserve.
std::int64_t StandAloneProgramSize(const IspLink& link, std::int64_t n);

// Bytes 2-9 once the program behind the header is in place: the sum of the
// program's first n bytes, the programmed size f, and last the header's own sum
// of bytes 4 to 1023.
void CompleteStandAloneHeader(std::span<std::uint8_t> header, std::uint32_t program_sum,
                              std::int64_t f);

}  // namespace fw
