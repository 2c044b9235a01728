#include "isp/erase_flash.h"

#include <algorithm>
#include <cstdint>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "isp/step_support.h"
#include "target/chips/code_image.h"
#include "target/chips/family_traits.h"
#include "target/chips/link_chip.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

using namespace boot_loader;

constexpr int kSectorBytes = 512;
constexpr int kUnlockTimeoutMs = 2000;
constexpr int kEraseTimeoutMs = 15000;
constexpr int kClassicEraseTimeoutMs = 25000;
constexpr int kPauseMs = 10;
// Boot loaders up to 6.2 report the chip serial number in the status reply.
constexpr int kLastFirmwareWithSerialInStatus = 0x62;
constexpr int kStatusSerialOffset = 31;
// The classic erase command ends with filler bytes: zeros, then a count down
// from kCountDownStart.
constexpr int kClassicZeros = 11;
constexpr std::uint8_t kCountDownStart = 0x80;
constexpr int kCountDownLong = 115;
constexpr int kCountDownShort = 34;
// The erase length field of the whole-length erase.
constexpr std::uint8_t kWholeLengthErase = 0xFF;

int SectorsFor(std::int64_t bytes) {
  return static_cast<int>((bytes + kSectorBytes - 1) / kSectorBytes);
}

class Eraser {
 public:
  explicit Eraser(IspLink& link)
      : link_(link),
        chip_(ChipOf(link)),
        traits_(TraitsOf(chip_)),
        v_(link.target.fw_version),
        pv_(link.target.protocol_variant) {}

  StepResult Run() {
    link_.Pause(kPauseMs);
    const std::uint32_t start = TickCount();
    LogMessage(link_, link_.GetText(kMsgErasing));
    // No more than the chip holds; this also keeps every sector count of the
    // commands within its byte (no chip holds 255 sectors).
    if (!ProgramFitsChip(link_)) return kStepRefused;
    const std::int64_t e = ProgramLength(link_, false);
    CommandBuilder command(link_);
    int timeout = kEraseTimeoutMs;
    if (const StepResult r = Build(e, command, timeout); r != kStepOk) return r;
    if (const StepResult r = SendAndWait(link_, command, timeout); r != kStepOk) return r;
    TakeChipSerial();
    if (link_.ReplyCode() != ExpectedReply(command.data()[0])) return kStepRefused;
    LogMessage(link_, link_.GetText(kMsgOkElapsed), SecondsSince(start));
    LogChipSerial();
    return kStepOk;
  }

 private:
  // The sectors the image occupies beyond the program flash.
  int SectorsBeyondCode(std::int64_t e) const {
    const std::int64_t q = chip_.code_size;
    return e > q ? SectorsFor(e - q) : 0;
  }

  StepResult Build(std::int64_t e, CommandBuilder& command, int& timeout) {
    const std::uint32_t q = chip_.code_size;
    if (traits_.Has(family_flags::kClassicGuard)) SetClassicGuard();
    if (v_ >= kFirmware72) {
      const int n = SectorsBeyondCode(e);
      if (pv_ != 4) {
        if (const StepResult r = UnlockWithPassword(); r != kStepOk) return r;
      }
      command.Add({kErase, static_cast<std::uint8_t>(n), 0x00}).AddGuard(link_);
      return kStepOk;
    }
    const EraseRule rule = traits_.EraseFor(v_);
    if (rule == EraseRule::kSectors) {
      const int n1 = SectorsFor(e);
      command.Add({kEraseClassic, static_cast<std::uint8_t>(n1)});
      for (int i = 0; i < 6; ++i) command.Add(0x33);
      timeout = kClassicEraseTimeoutMs;
      return kStepOk;
    }
    if (rule == EraseRule::kSpans) {
      // What to erase: the program flash, or the whole image in sectors.
      const std::int64_t s = e < q ? q : static_cast<std::int64_t>(SectorsFor(e)) * kSectorBytes;
      command.Add({kEraseClassic, 0x00})
          .AddBigEndian(static_cast<std::uint32_t>(s), 3)
          .AddBigEndian(q, 3);
      AddFiller(command, kCountDownLong);
      return kStepOk;
    }
    if (rule == EraseRule::kWholeLength) {
      command.Add({kEraseClassic, kWholeLengthErase})
          .AddBigEndian(static_cast<std::uint32_t>(e), 3)
          .AddBigEndian(q, 3);
      AddFiller(command, kCountDownShort);
      return kStepOk;
    }
    const int n = SectorsBeyondCode(e);
    if (pv_ != 4) {
      CommandBuilder unlock(link_);
      unlock.Add(kUnlock);
      if (const StepResult r = SendAndWait(link_, unlock, kUnlockTimeoutMs); r != kStepOk) return r;
      if (link_.ReplyCode() != kUnlock) return kStepRefused;
      link_.Pause(kPauseMs);
    }
    command.Add({kErase, static_cast<std::uint8_t>(n)});
    return kStepOk;
  }

  void SetClassicGuard() { std::copy_n(kClassicGuard, 2, link_.target.guard.begin()); }

  static void AddFiller(CommandBuilder& command, int count_down) {
    for (int i = 0; i < kClassicZeros; ++i) command.Add(0x00);
    for (int i = 0; i < count_down; ++i)
      command.Add(static_cast<std::uint8_t>(kCountDownStart - i));
  }

  StepResult UnlockWithPassword() {
    const DownloadPassword& password = link_.request.password;
    CommandBuilder unlock(link_);
    unlock.Add({kUnlock, 0x00, 0x00})
        .AddGuard(link_)
        .Add(std::span<const std::uint8_t>(password.bytes.data(),
                                           static_cast<std::size_t>(std::clamp(
                                               password.length, 0, DownloadPassword::kMaxLength))));
    if (const StepResult r = SendAndWait(link_, unlock, kUnlockTimeoutMs); r != kStepOk) return r;
    const std::uint8_t code = link_.ReplyCode();
    if (code != kUnlock) {
      if (code == kWrongPassword) LogMessage(link_, link_.GetText(kMsgUserPasswordError));
      if (code == kLocked) LogMessage(link_, link_.GetText(kMsgChipLocked));
      return kStepRefused;
    }
    link_.Pause(kPauseMs);
    return kStepOk;
  }

  std::uint8_t ExpectedReply(std::uint8_t command_code) const {
    if (pv_ == 0) return kErasedVariant0;
    if (pv_ == 1 || pv_ == 2) return kErasedVariants1And2;
    return command_code & kReplyCodeMask;
  }

  // From the reply's bytes 1-7 (those it carries; the others stay 0), or from
  // the status reply of the old boot loaders.
  void TakeChipSerial() {
    std::uint8_t* serial = link_.target.chip_serial;
    std::fill_n(serial, TargetIdentity::kChipSerialSize, 0x00);
    for (int i = 0; i < TargetIdentity::kChipSerialSize; ++i) {
      if (v_ <= kLastFirmwareWithSerialInStatus) {
        serial[i] = link_.target.status_record[kStatusSerialOffset + i];
      } else if (const int b = link_.ReplyByte(1 + i); b >= 0) {
        serial[i] = static_cast<std::uint8_t>(b);
      }
    }
  }

  void LogChipSerial() {
    const std::uint8_t* s = link_.target.chip_serial;
    const bool all_equal = std::all_of(s, s + TargetIdentity::kChipSerialSize,
                                       [&](std::uint8_t b) { return b == s[0]; });
    if (traits_.Has(family_flags::kSerialAfterErase) && !all_equal &&
        !link_.request.quiet_information) {
      LogMessage(link_, link_.GetText(kMsgChipSerial), s[0], s[1], s[2], s[3], s[4], s[5], s[6]);
    }
  }

  IspLink& link_;
  const ChipRecord& chip_;
  const FamilyTraits& traits_;
  const int v_;
  const int pv_;
};

}  // namespace

StepResult EraseFlash(IspLink& link) { return Eraser(link).Run(); }

}  // namespace fw
