#include "target/chips/code_image.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "isp/link/isp_link.h"
#include "target/chips/family_traits.h"
#include "target/chips/link_chip.h"
#include "target/chips/own_byte_areas.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

// The boot loader of a chip that is not option-capable keeps this much at the
// top of its flash.
constexpr std::int64_t kTopReserveBytes = 3072;
// Extra data records carry the user-interface reply in pieces of at most this.
constexpr int kReplyPieceBytes = 64;
// The firmware from which the parameter block carries the trim and reference
// bytes; 0x73 carries them from build 12 on.
constexpr int kFirmware73 = 0x73;
constexpr int kFirmware74 = 0x74;
constexpr int kBuildWithLongBlock = 12;
constexpr std::uint8_t kRecordMark = 0x5A;
constexpr int kRecordHeaderBytes = 4;  // mark, address low, address high, length
constexpr std::int64_t kRecordAddressLimit = 0xFFFF;

// A placement clipped to a buffer: [begin, end).
struct Range {
  int begin = 0;
  int end = 0;
  bool empty() const { return end <= begin; }
};

// Where length bytes from address land inside capacity; empty for a negative
// address or a length of 0 or less.
Range Clip(std::int64_t address, std::int64_t length, int capacity) {
  if (address < 0 || length <= 0 || address >= capacity) return {};
  return {static_cast<int>(address),
          static_cast<int>(std::min<std::int64_t>(address + length, capacity))};
}

int SerialLength(const SerialNumberPlacement& s) {
  return std::min(s.length, SerialNumberPlacement::kValueBytes);
}

int ReplyLength(const UserInterfaceReply& ui) {
  const int length = ui.reply_length & 0xFFFF;
  return std::min(length, static_cast<int>(ui.reply.size()));
}

// The serial number's low length bytes, most significant first.
std::vector<std::uint8_t> SerialBytes(const SerialNumberPlacement& s) {
  const int length = std::max(SerialLength(s), 0);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) bytes[static_cast<std::size_t>(i)] = s.value[length - 1 - i];
  return bytes;
}

bool PlacesParameters(const IspLink& link) {
  return (link.image.option_bytes[kPlacementOptionByte] & kPlacesParameters) != 0;
}

int ImageLength(const IspLink& link) {
  return std::clamp(link.image.image_length, 0, static_cast<int>(link.image.image_source.size()));
}

int Capacity(const IspLink& link) { return static_cast<int>(link.image.code_image.size()); }

// The end of the code area below the chip's tail reserve.
std::int64_t CodeAreaEnd(const ChipRecord& chip) {
  return static_cast<std::int64_t>(chip.code_size) -
         std::min<std::int64_t>(chip.tail_reserve, chip.code_size);
}

bool TopReserveApplies(const IspLink& link) {
  return !link.target.option_capable_firmware && link.image.top_reserve;
}

std::int64_t TopReserveLimit(const ChipRecord& chip) {
  return std::max<std::int64_t>(0, static_cast<std::int64_t>(chip.total_size) - kTopReserveBytes);
}

int RaiseTo(int length, std::int64_t end, int capacity) {
  return static_cast<int>(std::max<std::int64_t>(length, std::min<std::int64_t>(end, capacity)));
}

// The status bytes of the chip parameter block, after its constant prefix.
std::vector<std::uint8_t> ParameterBlock(const IspLink& link, bool direct) {
  static constexpr std::array<std::uint8_t, 5> kPrefix = {0x00, 0x00, 0x75, 0xC7, 0x20};
  const std::uint8_t* s = link.target.status_record;
  const bool short_form = TraitsOf(link).parameter_block == ParameterBlockRule::kShort;
  const int v = link.target.fw_version;
  std::vector<std::uint8_t> block(kPrefix.begin(), kPrefix.end());
  auto add = [&](std::initializer_list<int> offsets) {
    for (int k : offsets) block.push_back(s[k]);
  };
  if (direct || short_form) {
    add({4, 28});
    block.push_back(0x40);
    add({3, 29});
    block.push_back(0x80);
    add({1, 2, 35, 36});
  } else if (v >= kFirmware74) {
    add({30, 29, 28, 27, 49, 48, 47, 46, 45, 44, 43, 42, 26, 25, 23, 24, 35, 36});
  } else if (v == kFirmware73 && link.target.fw_build >= kBuildWithLongBlock) {
    add({29, 28, 49, 48, 47, 46, 45, 44, 43, 42, 26, 25, 23, 24, 35, 36});
  } else {
    add({26, 25, 23, 24, 35, 36});
  }
  return block;
}

// Calls add(address, data, n) for each extra data record of the serial numbers
// and the user-interface reply, in the order of the record list.
template <typename Add>
void ForEachPlacedRecord(const IspLink& link, Add add) {
  for (const SerialNumberPlacement& s : link.placements.serial_numbers) {
    if (!s.enabled) continue;
    const std::vector<std::uint8_t> bytes = SerialBytes(s);
    add(s.address, bytes.data(), static_cast<int>(bytes.size()));
  }
  const UserInterfaceReply& ui = link.placements.user_interface;
  if (!ui.enabled) return;
  const int length = ReplyLength(ui);
  for (int at = 0; at < length; at += kReplyPieceBytes) {
    add(static_cast<std::int64_t>(ui.address) + at, ui.reply.data() + at,
        std::min(kReplyPieceBytes, length - at));
  }
}

// Images with records carry them from this firmware on; before it the pieces
// go into the image itself.
bool CarriesRecords(const IspLink& link) { return link.target.fw_version >= kFirmware72; }

class ImageBuilder {
 public:
  ImageBuilder(IspLink& link, bool with_records)
      : link_(link),
        chip_(ChipOf(link)),
        with_records_(with_records),
        image_(link.image.code_image),
        capacity_(Capacity(link)) {}

  int Build() {
    std::fill(image_.begin(), image_.end(), 0xFF);
    const int image_length = std::min(ImageLength(link_), capacity_);
    std::copy_n(link_.image.image_source.begin(), image_length, image_.begin());
    code_length_ = image_length;
    if (with_records_) PlaceChipSerial();
    const bool direct = !with_records_ || !CarriesRecords(link_);
    if (direct) {
      PlaceDirect();
    } else {
      PlaceRecords();
    }
    if (with_records_ && PlacesParameters(link_)) PlaceParameters(direct);
    int result = 0;
    if (!with_records_) result = FinishWithoutRecords(image_length);
    link_.image.code_length = code_length_;
    return result;
  }

 private:
  // Writes bytes at address, clipped to the image; raises the code length to the
  // end of what was written when asked.
  void Write(std::int64_t address, const std::vector<std::uint8_t>& bytes, bool raise) {
    const Range range = Clip(address, static_cast<std::int64_t>(bytes.size()), capacity_);
    if (range.empty()) return;
    std::copy_n(bytes.begin(), range.end - range.begin, image_.begin() + range.begin);
    if (raise) code_length_ = std::max(code_length_, range.end);
  }

  std::int64_t SerialOffset() const {
    return static_cast<std::int64_t>(chip_.code_size) - TargetIdentity::kChipSerialSize;
  }

  void PlaceChipSerial() {
    const auto& serial = link_.target.chip_serial;
    Write(SerialOffset(), {std::begin(serial), std::end(serial)}, false);
  }

  void PlaceDirect() {
    for (const SerialNumberPlacement& s : link_.placements.serial_numbers) {
      if (s.enabled) Write(s.address, SerialBytes(s), true);
    }
    const UserInterfaceReply& ui = link_.placements.user_interface;
    if (ui.enabled) {
      Write(ui.address, {ui.reply.begin(), ui.reply.begin() + ReplyLength(ui)}, true);
    }
  }

  // Appends one extra data record; the list is not cleared first, only
  // overwritten from its start.
  void AddRecord(std::int64_t address, const std::uint8_t* data, int n) {
    std::vector<std::uint8_t>& list = link_.image.extra_records;
    if (address < 0 || n <= 0) return;
    if (record_end_ + kRecordHeaderBytes + n > list.size()) return;
    list[record_end_++] = kRecordMark;
    list[record_end_++] = static_cast<std::uint8_t>(address);
    list[record_end_++] = static_cast<std::uint8_t>(address >> 8);
    list[record_end_++] = static_cast<std::uint8_t>(n);
    std::copy_n(data, n, list.begin() + static_cast<std::ptrdiff_t>(record_end_));
    record_end_ += static_cast<std::size_t>(n);
  }

  void PlaceRecords() {
    ForEachPlacedRecord(link_, [this](std::int64_t address, const std::uint8_t* data, int n) {
      AddRecord(address, data, n);
    });
  }

  void PlaceParameters(bool direct) {
    const std::vector<std::uint8_t> block = ParameterBlock(link_, direct);
    const std::int64_t end = CodeAreaEnd(chip_);
    const auto length = static_cast<std::int64_t>(block.size());
    if (direct) {
      // The bytes that would fall below offset 0 are left out.
      const std::int64_t start = end - length;
      const std::int64_t skip = std::max<std::int64_t>(0, -start);
      if (skip < length) Write(start + skip, {block.begin() + skip, block.end()}, false);
      code_length_ = RaiseTo(code_length_, end, capacity_);
      return;
    }
    // The record's address holds the low 16 bits only.
    if (end - length >= 0) {
      AddRecord((end - length) & 0xFFFF, block.data(), static_cast<int>(length));
    }
  }

  int FinishWithoutRecords(int image_length) {
    if (TraitsOf(chip_).Has(family_flags::kClearsChipSerial)) {
      Write(SerialOffset(), std::vector<std::uint8_t>(TargetIdentity::kChipSerialSize, 0x00),
            false);
    } else if (PlacesParameters(link_)) {
      code_length_ = RaiseTo(code_length_, chip_.code_size, capacity_);
      PlaceChipSerial();
    }
    if (!TopReserveApplies(link_)) return 0;
    const int limit = static_cast<int>(std::min<std::int64_t>(TopReserveLimit(chip_), capacity_));
    if (code_length_ > limit) {
      const auto dropped = std::count_if(image_.begin() + limit, image_.begin() + code_length_,
                                         [](std::uint8_t b) { return b != 0xFF; });
      if (dropped > 0) {
        LogMessage(link_, link_.GetText(kMsgTopReserveCut), static_cast<int>(dropped));
      }
      code_length_ = limit;
    }
    return code_length_ < image_length ? 1 : 0;
  }

  IspLink& link_;
  const ChipRecord& chip_;
  const bool with_records_;
  std::vector<std::uint8_t>& image_;
  const int capacity_;
  int code_length_ = 0;
  std::size_t record_end_ = 0;
};

}  // namespace

int ProgramLength(const IspLink& link, bool with_records) {
  const ChipRecord& chip = ChipOf(link);
  const int capacity = Capacity(link);
  int n = std::min(ImageLength(link), capacity);
  for (const SerialNumberPlacement& s : link.placements.serial_numbers) {
    const Range range = Clip(s.address, SerialLength(s), capacity);
    if (s.enabled && !range.empty()) n = std::max(n, range.end);
  }
  const UserInterfaceReply& ui = link.placements.user_interface;
  const Range reply = Clip(ui.address, ReplyLength(ui), capacity);
  if (ui.enabled && !reply.empty()) n = std::max(n, reply.end);
  if (with_records) {
    return PlacesParameters(link) ? RaiseTo(n, CodeAreaEnd(chip), capacity) : n;
  }
  if (!TraitsOf(chip).Has(family_flags::kClearsChipSerial) && PlacesParameters(link)) {
    n = RaiseTo(n, chip.code_size, capacity);
  }
  if (TopReserveApplies(link)) {
    n = static_cast<int>(std::min<std::int64_t>(n, TopReserveLimit(chip)));
  }
  return n;
}

int BuildCodeImage(IspLink& link, bool with_records) {
  return ImageBuilder(link, with_records).Build();
}

std::int64_t RecordAddressBeyond16Bits(const IspLink& link) {
  std::int64_t beyond = -1;
  if (!CarriesRecords(link)) return beyond;
  ForEachPlacedRecord(link, [&](std::int64_t address, const std::uint8_t*, int n) {
    if (beyond < 0 && address >= 0 && n > 0 && address > kRecordAddressLimit) beyond = address;
  });
  return beyond;
}

int ForEachExtraRecord(const IspLink& link, const std::function<int(const ExtraRecord&)>& visit) {
  const std::vector<std::uint8_t>& list = link.image.extra_records;
  std::size_t at = 0;
  while (at + kRecordHeaderBytes <= list.size() && list[at] == kRecordMark) {
    const std::size_t n = list[at + 3];
    if (at + kRecordHeaderBytes + n > list.size()) break;
    const ExtraRecord record{
        list[at + 1] | list[at + 2] << 8,
        std::span<const std::uint8_t>(list).subspan(at + kRecordHeaderBytes, n)};
    if (const int result = visit(record); result != 0) return result;
    at += kRecordHeaderBytes + n;
  }
  return 0;
}

int PrepareImage(IspLink& link, bool with_records, bool length_only) {
  return length_only ? ProgramLength(link, with_records) : BuildCodeImage(link, with_records);
}

}  // namespace fw
