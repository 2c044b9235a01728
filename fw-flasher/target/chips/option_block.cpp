#include "target/chips/option_block.h"

#include <algorithm>

#include "isp/link/isp_link.h"
#include "target/chips/link_chip.h"

namespace fw {
namespace {

constexpr int kShortBlock = 40;
// The firmware from which families 53 and up take the trim range in bits 4-5.
constexpr int kFirmware74 = 0x74;

// Option byte 16 holds the project's option flags; bits 0-2 of it switch parts
// of the block.
constexpr int kOptionFlags = 16;

std::uint8_t Byte(std::uint32_t value, int shift) {
  return static_cast<std::uint8_t>(value >> shift);
}

class BlockWriter {
 public:
  BlockWriter(const IspLink& link, std::span<std::uint8_t, kOptionBlockSize> dst)
      : link_(link), dst_(dst), q_(link.image.option_bytes.data()) {}

  int Write() {
    std::fill(dst_.begin(), dst_.end(), 0xFF);
    WriteFlags();
    dst_[22] = static_cast<std::uint8_t>(link_.request.new_password.length);
    switch (TraitsOf(link_).option_block) {
      case OptionBlockLayout::k44:
        return WriteFamily44();
      case OptionBlockLayout::k45To52:
        return WriteFamilies45To52();
      case OptionBlockLayout::k53Up:
        return WriteFamilies53Up();
      case OptionBlockLayout::k25And28:
        return WriteFamilies25And28();
      case OptionBlockLayout::kBelow44:
        break;
    }
    return WriteFamiliesBelow44();
  }

 private:
  void WriteFlags() {
    const std::uint8_t flags = q_[kOptionFlags];
    dst_[3] = (flags & 0x02) == 0 ? 0x10 : 0x00;
    dst_[4] = q_[17];
    dst_[6] = (flags & 0x04) == 0 ? 0x10 : 0x00;
    dst_[7] = q_[18];
  }

  // Option byte 14 with its fixed bits set; bit 2 follows flag bit 0.
  std::uint8_t PasswordByteBase() const {
    std::uint8_t k = q_[14] | 0xFC;
    if ((q_[kOptionFlags] & 0x01) == 0) k &= static_cast<std::uint8_t>(~0x04);
    return k;
  }
  // Bit 3 cleared asks the chip to check the new password from now on.
  std::uint8_t WithPasswordBit(std::uint8_t k) const {
    const bool new_password =
        link_.request.password_present && link_.request.new_password.length != 0;
    return new_password ? static_cast<std::uint8_t>(k & ~0x08) : k;
  }

  std::uint32_t Adjusted() const {
    return static_cast<std::uint32_t>(link_.clock.adjusted_frequency);
  }
  std::uint8_t X2() const { return link_.clock.trim_bytes[2]; }
  std::uint8_t X3() const { return link_.clock.trim_bytes[3]; }

  // The adjusted frequency at 23, 25, 27, 29, most significant first.
  void WriteSpreadFrequency() {
    const std::uint32_t a = Adjusted();
    dst_[23] = Byte(a, 24);
    dst_[25] = Byte(a, 16);
    dst_[27] = Byte(a, 8);
    dst_[29] = Byte(a, 0);
  }
  // The adjusted frequency at 24..27 and the trim at 28.
  void WritePackedFrequencyAndTrim() {
    const std::uint32_t a = Adjusted();
    dst_[24] = Byte(a, 24);
    dst_[25] = Byte(a, 16);
    dst_[26] = Byte(a, 8);
    dst_[27] = Byte(a, 0);
    dst_[28] = X2();
  }
  void WriteOptionsAt36() {
    dst_[36] = q_[0];
    dst_[37] = q_[1];
    dst_[38] = q_[2];
    // The fourth option byte only where the chip has it.
    dst_[39] = (ChipOf(link_).flags & chip_flags::kOptionBlockBit) != 0 ? q_[3] : 0xFF;
  }

  int WriteFamily44() {
    WriteSpreadFrequency();
    dst_[31] = WithPasswordBit(PasswordByteBase() ^ 0x02);
    dst_[32] = static_cast<std::uint8_t>(link_.request.option_extra_value);
    dst_[56] = static_cast<std::uint8_t>((link_.target.status_record[29] & 0xF0) | (X3() >> 4));
    dst_[57] = X3() & 0x03;
    dst_[58] = X2();
    dst_[59] = link_.target.status_record[32];
    dst_[60] = q_[3];
    dst_[61] = q_[2];
    dst_[62] = q_[1];
    dst_[63] = q_[0] | 0x01;
    return kOptionBlockSize;
  }

  int WriteFamilies45To52() {
    WritePackedFrequencyAndTrim();
    dst_[29] = X3() & 0x03;
    dst_[30] = X3() >> 2;
    dst_[32] = WithPasswordBit(PasswordByteBase() ^ 0x02);
    WriteOptionsAt36();
    return kShortBlock;
  }

  int WriteFamilies53Up() {
    WritePackedFrequencyAndTrim();
    const std::uint8_t x3 = X3();
    dst_[29] = link_.target.fw_version >= kFirmware74
                   ? static_cast<std::uint8_t>((x3 & 0xC0) | ((x3 & 0x03) << 4))
                   : static_cast<std::uint8_t>(x3 & 0xC3);
    dst_[30] = (x3 >> 2) & 0x0F;
    dst_[31] = q_[13];
    dst_[32] = WithPasswordBit(PasswordByteBase() ^ 0x02);
    dst_[35] = q_[5];
    WriteOptionsAt36();
    return kShortBlock;
  }

  // The trim and the first three option bytes at the top of the block.
  void WriteTop(std::uint8_t top62, std::uint8_t top63) {
    dst_[55] = q_[8];
    dst_[59] = X2();
    dst_[60] = X3() | 0x3F;
    dst_[61] = q_[2];
    dst_[62] = top62;
    dst_[63] = top63;
  }

  int WriteFamiliesBelow44() {
    WriteSpreadFrequency();
    dst_[31] = WithPasswordBit(PasswordByteBase() ^ 0x02);
    dst_[32] = static_cast<std::uint8_t>(link_.request.option_extra_value);
    WriteTop(q_[1], q_[0]);
    return kOptionBlockSize;
  }

  int WriteFamilies25And28() {
    WriteSpreadFrequency();
    dst_[31] = WithPasswordBit(PasswordByteBase());
    WriteTop(q_[1] ^ 0x07, static_cast<std::uint8_t>((q_[0] | 0x80) ^ 0x10));
    return kOptionBlockSize;
  }

  const IspLink& link_;
  std::span<std::uint8_t, kOptionBlockSize> dst_;
  const std::uint8_t* q_;
};

}  // namespace

int BuildOptionBlock(const IspLink& link, std::span<std::uint8_t, kOptionBlockSize> dst) {
  return BlockWriter(link, dst).Write();
}

}  // namespace fw
