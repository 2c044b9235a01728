#include "target/board/standalone_header.h"

#include <algorithm>
#include <cctype>

#include "isp/link/isp_link.h"
#include "target/chips/family_traits.h"
#include "target/chips/link_chip.h"

namespace fw {
namespace {

// Header offsets.
constexpr int kMark = 0;
constexpr int kHeaderSum = 2;
constexpr int kProgramSum = 4;
constexpr int kProgramSize = 6;
constexpr int kHandshakeRate = 10;
constexpr int kPassThrough1 = 11;
constexpr int kChipId = 12;
constexpr int kAltChipId = 14;
constexpr int kFlagsA = 16;
constexpr int kFlagsB = 17;
constexpr int kFlagsC = 18;
constexpr int kZeroByte = 19;
constexpr int kSetFrequency = 20;
constexpr int kMeasuredFrequency = 24;
constexpr int kPassThrough3 = 28;
constexpr int kOptions = 32;
constexpr int kOptionCount = 16;
constexpr int kClearedOption = 35;
constexpr int kExtraOptions = 48;
constexpr int kBoardP1 = 50;
constexpr int kFamily = 51;
constexpr int kSerialAddress[2] = {52, 56};
constexpr int kSerialLength[2] = {60, 61};
constexpr int kSerialFormat[2] = {62, 63};
constexpr int kSerialStep[2] = {64, 80};
constexpr int kSerialValue[2] = {96, 112};
constexpr int kBoardP3 = 128;
constexpr int kUiRate = 163;
constexpr int kUiFirstCount = 164;
constexpr int kUiFirst = 165;
constexpr int kUiSecondCount = 197;
constexpr int kUiSecond = 198;
constexpr int kUiReplyLength = 229;
constexpr int kUiReplyAddress = 231;
constexpr int kCodeSize = 271;
constexpr int kFlashSize = 275;
constexpr int kPassThrough2 = 279;
constexpr int kPasswordLength = 280;
constexpr int kNewPasswordLength = 281;
constexpr int kPassword = 282;
constexpr int kNewPassword = 346;
constexpr int kOptionExtra = 410;
constexpr int kPassThrough5 = 411;
constexpr int kPassThrough4 = 412;
constexpr int kUserKey = 768;
constexpr int kUserKeyBytes = 256;
// The header's own sum covers bytes 4 to 1023.
constexpr int kSummedFrom = 4;
constexpr int kSummedEnd = 1024;

constexpr int kUiFirstMax = 32;
constexpr int kUiSecondMax = 31;
constexpr int kUiReplyMax = 2048;
constexpr int kRateUnit = 1200;
constexpr int kPassThrough2Max = 16;
constexpr int kPassThrough2Scale = 10;
constexpr int kProgramUnit = 128;
constexpr int kTopReserveBytes = 2048;

// Option byte 16: bit 0 clear means bytes 17 and 18 (and bits 1, 2) were set.
constexpr int kExtraOptionFlags = 16;
// Chips whose programmed size stops below the tail reserve: by name or by id.
constexpr const char kTailReservePrefix[] = "IRC";
constexpr std::uint16_t kTailReserveChipId = 0xF55F;

void Put16(std::span<std::uint8_t> h, int at, std::uint32_t v) {
  h[at] = static_cast<std::uint8_t>(v >> 8);
  h[at + 1] = static_cast<std::uint8_t>(v);
}

void Put32(std::span<std::uint8_t> h, int at, std::uint32_t v) {
  Put16(h, at, v >> 16);
  Put16(h, at + 2, v);
}

std::uint8_t Bit(bool set, int bit) { return static_cast<std::uint8_t>(set ? 1u << bit : 0u); }

// A 128-bit number the link holds least significant byte first, written most
// significant first.
void PutReversed(std::span<std::uint8_t> h, int at, const std::array<std::uint8_t, 16>& v) {
  std::reverse_copy(v.begin(), v.end(), h.begin() + at);
}

// Copies at most max bytes; returns how many.
int PutBytes(std::span<std::uint8_t> h, int at, const std::uint8_t* bytes, std::size_t count,
             int max) {
  const int n = static_cast<int>(std::min<std::size_t>(count, static_cast<std::size_t>(max)));
  std::copy_n(bytes, n, h.begin() + at);
  return n;
}

bool NamedWithTailReserve(const char* name) {
  for (int i = 0; kTailReservePrefix[i] != '\0'; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != kTailReservePrefix[i]) return false;
  }
  return true;
}

}  // namespace

std::int64_t FillStandAloneHeader(const IspLink& link, std::span<std::uint8_t> h) {
  const ChipRecord& chip = ChipOf(link);
  const FamilyTraits& traits = TraitsOf(chip);
  // Where the header says that option byte 15 places the parameters.
  const bool flag_b_places_parameters =
      traits.board_placement_flag == BoardPlacementFlag::kFlagsBBit7;
  const bool flag_c_places_parameters =
      traits.board_placement_flag == BoardPlacementFlag::kFlagsCBit0;
  const std::vector<std::uint8_t>& q = link.image.option_bytes;
  const bool extra_options = (q[kExtraOptionFlags] & 0x01) == 0;
  const bool option_15_bit_1 = (q[kAssumedClockOptionByte] & 0x02) != 0;
  const auto& serials = link.placements.serial_numbers;
  const UserInterfaceReply& ui = link.placements.user_interface;
  const TargetCommand& ui_command = link.request.commands.user_interface;
  const auto& flags = link.request.pass_through.option_flags;  // option flags 2, 3, 4, 5
  std::int64_t n = link.image.image_length;

  h[kMark] = 0x5A;
  h[kMark + 1] = 0xA5;
  h[kHandshakeRate] = static_cast<std::uint8_t>(link.request.handshake_baud / kRateUnit);
  h[kPassThrough1] = static_cast<std::uint8_t>(link.request.pass_through.value_1);
  Put16(h, kChipId, chip.id);
  Put16(h, kAltChipId, chip.alt_id);
  h[kFlagsA] = Bit(link.request.user_key_present, 0) | Bit(link.request.program_variant, 1) |
               Bit(extra_options, 2) | Bit(extra_options && (q[kExtraOptionFlags] & 0x02) == 0, 3) |
               Bit(extra_options && (q[kExtraOptionFlags] & 0x04) == 0, 4) | Bit(true, 5) |
               Bit(link.request.board.p2, 6) |
               Bit((chip.flags & chip_flags::kOptionsNeedCapableFirmware) != 0, 7);
  h[kFlagsB] = Bit(serials[0].enabled, 0) | Bit(serials[1].enabled, 1) | Bit(flags[0], 2) |
               Bit(!link.request.silent, 4) | Bit(ui_command.enabled, 6) |
               Bit(option_15_bit_1 && flag_b_places_parameters, 7);
  h[kFlagsC] = Bit(option_15_bit_1 && flag_c_places_parameters, 0) |
               Bit(link.image.top_reserve, 1) | Bit(!flags[1], 2) | Bit(flags[2], 3) |
               Bit(flags[3], 4);
  h[kZeroByte] = 0x00;
  Put32(h, kSetFrequency, static_cast<std::uint32_t>(link.request.set_frequency));
  Put32(h, kMeasuredFrequency, static_cast<std::uint32_t>(link.clock.measured_frequency));
  Put32(h, kPassThrough3, static_cast<std::uint32_t>(link.request.pass_through.value_3));

  std::copy_n(q.begin(), kOptionCount, h.begin() + kOptions);
  if (traits.Has(family_flags::kBoardClearsOption35) &&
      (chip.flags & chip_flags::kOptionBlockBit) == 0) {
    h[kClearedOption] = 0xFF;
  }
  if (extra_options) {
    h[kExtraOptions] = q[kExtraOptionFlags + 1];
    h[kExtraOptions + 1] = q[kExtraOptionFlags + 2];
  }
  h[kBoardP1] = link.request.board.p1;
  h[kFamily] = static_cast<std::uint8_t>(FamilyCode(chip));

  for (std::size_t s = 0; s < serials.size(); ++s) {
    const SerialNumberPlacement& serial = serials[s];
    if (serial.enabled) {
      Put32(h, kSerialAddress[s], static_cast<std::uint32_t>(serial.address));
      n = std::max(n, static_cast<std::int64_t>(serial.address) + serial.length);
    }
    h[kSerialLength[s]] = static_cast<std::uint8_t>(serial.length);
    h[kSerialFormat[s]] = static_cast<std::uint8_t>(serial.format);
    PutReversed(h, kSerialStep[s], serial.step);
    PutReversed(h, kSerialValue[s], serial.value);
  }
  h[kBoardP3] = link.request.board.p3;

  if (ui_command.enabled) {
    const int reply_length = std::clamp(ui.reply_length, 0, kUiReplyMax);
    h[kUiRate] = static_cast<std::uint8_t>(ui_command.baud / kRateUnit);
    h[kUiFirstCount] = static_cast<std::uint8_t>(
        PutBytes(h, kUiFirst, ui_command.bytes.data(), ui_command.bytes.size(), kUiFirstMax));
    const auto& second = link.request.commands.user_interface_second;
    h[kUiSecondCount] = static_cast<std::uint8_t>(
        PutBytes(h, kUiSecond, second.data(), second.size(), kUiSecondMax));
    Put16(h, kUiReplyLength, static_cast<std::uint32_t>(reply_length));
    Put32(h, kUiReplyAddress, static_cast<std::uint32_t>(ui.address));
    n = std::max(n, static_cast<std::int64_t>(ui.address) + reply_length);
  }

  Put32(h, kCodeSize, chip.code_size);
  const bool top_block = link.image.top_reserve && (chip.flags & chip_flags::kOptionBlockBit) != 0;
  Put32(h, kFlashSize,
        top_block ? chip.total_size - kTopReserveBytes : chip.code_size + chip.data_size);
  h[kPassThrough2] = static_cast<std::uint8_t>(
      std::clamp(link.request.pass_through.value_2, 0, kPassThrough2Max) * kPassThrough2Scale);

  const DownloadRequest& d = link.request;
  if (d.password_present) {
    h[kPasswordLength] = static_cast<std::uint8_t>(PutBytes(
        h, kPassword, d.password.bytes.data(),
        static_cast<std::size_t>(std::max(d.password.length, 0)), DownloadPassword::kMaxLength));
    h[kNewPasswordLength] = static_cast<std::uint8_t>(
        PutBytes(h, kNewPassword, d.new_password.bytes.data(),
                 static_cast<std::size_t>(std::max(d.new_password.length, 0)),
                 DownloadPassword::kMaxLength));
  } else {
    h[kPasswordLength] = 0;
    h[kNewPasswordLength] = 0;
  }
  h[kOptionExtra] = static_cast<std::uint8_t>(d.option_extra_value);
  h[kPassThrough5] = static_cast<std::uint8_t>(link.request.pass_through.value_5);
  h[kPassThrough4] = static_cast<std::uint8_t>(link.request.pass_through.value_4);
  if (d.user_key_present)
    std::copy_n(link.image.user_key.begin(), kUserKeyBytes, h.begin() + kUserKey);

  if (option_15_bit_1 && traits.Has(family_flags::kBoardWholeCode)) {
    n = std::max(n, static_cast<std::int64_t>(chip.code_size));
  }
  return n;
}

std::int64_t StandAloneProgramSize(const IspLink& link, std::int64_t n) {
  std::int64_t f = (n + kProgramUnit - 1) / kProgramUnit * kProgramUnit;
  const ChipRecord& chip = ChipOf(link);
  if (NamedWithTailReserve(link.target.chip_name) || chip.id == kTailReserveChipId) {
    const std::int64_t usable = static_cast<std::int64_t>(chip.code_size) - chip.tail_reserve;
    f = std::min(f, usable);
  }
  return f;
}

void CompleteStandAloneHeader(std::span<std::uint8_t> h, std::uint32_t program_sum,
                              std::int64_t f) {
  Put16(h, kProgramSum, program_sum);
  Put32(h, kProgramSize, static_cast<std::uint32_t>(f));
  std::uint32_t sum = 0;
  for (int i = kSummedFrom; i < kSummedEnd; ++i) sum += h[i];
  Put16(h, kHeaderSum, sum);
}

}  // namespace fw
