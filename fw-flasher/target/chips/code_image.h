// The code image that the program step writes: the user program, the download's
// serial numbers, the user-interface reply, the chip's serial number and a block
// of its parameters at the top of the code area. Boot loaders from firmware 7.2
// on take the small pieces as extra data records instead.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace fw {

class IspLink;

// The number of bytes the download will program, as the erase step needs it;
// changes nothing.
int ProgramLength(const IspLink& link, bool with_records);

// Builds the code image, the code length and the record list. Returns 1 when the
// top reserve cut the code length below the image length, else 0. Every write
// stays inside its buffer: placements that reach past it are clipped, those at
// a negative address or with no length place nothing, serial numbers longer
// than 16 bytes are taken as 16.
int BuildCodeImage(IspLink& link, bool with_records);

// The address of the first extra data record that the image with records
// would place above 0xFFFF, which a record's 16-bit address cannot hold; -1
// when every record fits (or the chip's boot loader takes no records).
std::int64_t RecordAddressBeyond16Bits(const IspLink& link);

// One record of the link's list of extra data records.
struct ExtraRecord {
  int address;  // 16 bits
  std::span<const std::uint8_t> data;
};

// Calls visit for each record of the list from its start, while a record
// begins with its mark and lies wholly inside the list. Stops at the first
// visit that returns nonzero and returns that; 0 when every record was visited.
int ForEachExtraRecord(const IspLink& link, const std::function<int(const ExtraRecord&)>& visit);

// Either of the two above: the length only, or the image.
int PrepareImage(IspLink& link, bool with_records, bool length_only);

}  // namespace fw
