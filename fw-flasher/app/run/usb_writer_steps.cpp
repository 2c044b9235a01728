#include "app/run/usb_writer_steps.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "app/run/usb_writer_commands.h"
#include "isp/end_download.h"
#include "isp/handshake.h"
#include "isp/link/isp_link.h"
#include "isp/report_after_programming.h"
#include "isp/step_support.h"
#include "target/chips/code_image.h"
#include "target/chips/factory_trim.h"
#include "target/chips/family_traits.h"
#include "target/chips/link_chip.h"
#include "target/chips/option_block.h"
#include "target/usb_writer/usb_writer_link.h"

namespace fw {
namespace {

using namespace usb_writer;

// Pauses after the commands, in milliseconds, as the writer needs them.
constexpr int kAfterPrepareMs = 10;
constexpr int kAfterUnlockMs = 50;
constexpr int kBeforeEraseMs = 10;
constexpr int kAfterEraseMs = 200;
constexpr int kAfterKeyBlockMs = 50;
constexpr int kBeforeProgramMs = 10;
constexpr int kAfterBlockMs = 35;
constexpr int kBeforeOptionsMs = 10;
constexpr int kAfterOptionsMs = 100;
constexpr int kAfterLastOptionsMs = 50;
constexpr int kAfterNewPasswordMs = 100;
constexpr int kAfterEndMs = 50;

// The writer erases about this long per 512-byte sector; the flow waits that
// out in steps before it reads the erase reply.
constexpr std::int64_t kEraseMsPerSector = 25;
constexpr int kEraseWaitStepMs = 100;
// Status record byte 12, bit 1: the erase covers the whole flash.
constexpr int kEraseScopeAt = 12;
constexpr std::uint8_t kErasesWholeFlash = 0x02;

// Firmware 7.3 before build 2 takes the new password before the options.
constexpr int kFirmware73 = 0x73;
constexpr int kFirstBuildWithOptionsFirst = 2;

// The option report after programming reads the values just programmed
// where it reads them in a status reply: option block bytes, copied to status
// positions, and the adjusted frequency (4 bytes, high byte first), in the
// family's status layout.
struct ReportedOptions {
  int from;  // option block position
  int to;    // status position
  int count;
};
constexpr ReportedOptions kReportedOlderFamilies[] = {{61, 5, 3}, {31, 12, 1}, {55, 37, 1}};
constexpr int kAdjustedAtOlderFamilies = 8;
constexpr ReportedOptions kReportedNewerFamilies[] = {{32, 9, 1}, {35, 12, 5}};
constexpr int kAdjustedAtNewerFamilies = 1;

std::int64_t SectorsFor(std::int64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

// A password as the writer takes it: its bytes, or the one byte 0 for none.
std::vector<std::uint8_t> PasswordData(const DownloadPassword& password) {
  const int length = std::clamp(password.length, 0, DownloadPassword::kMaxLength);
  if (length == 0) return {kEmptyPassword};
  return {password.bytes.begin(), password.bytes.begin() + length};
}

class WriterDownload {
 public:
  WriterDownload(IspLink& link, int writer_number)
      : link_(link), writer_name_("USB" + std::to_string(writer_number)) {}

  StepResult Run() {
    LogMessage(link_, nullptr);
    LogMessage(link_, link_.GetText(kMsgCheckingTarget));
    StepResult r = Receive();
    if (r == kStepOk) r = IdentifyTarget(link_);
    if (r != kStepOk) return r;
    TakeFactoryTrim();
    if (r = CheckReach(); r != kStepOk) return r;
    if (r = Prepare(); r != kStepOk) return r;
    if (r = Erase(); r != kStepOk) return r;
    if (r = WriteUserKey(); r != kStepOk) return r;
    if (r = Program(); r != kStepOk) return r;
    if (r = ProgramRecords(); r != kStepOk) return r;
    if (r = ProgramOptions(); r != kStepOk) return r;
    ReportProgrammedOptions();
    return kStepOk;
  }

  // The end command, whatever the result; the writer may be gone by now, and
  // nothing more comes of it.
  void End() {
    const std::uint8_t end[] = {kEndArgument};
    UsbSend(link_, {kEnd, kPlainValue, 0}, end, kUsbNoTimeLimit);
    link_.Pause(kAfterEndMs);
  }

 private:
  bool Stopped() const { return !link_.KeepsRunning(); }

  StepResult FromLink(UsbLinkResult result) {
    switch (result) {
      case UsbLinkResult::kOk:
        return kStepOk;
      case UsbLinkResult::kStopped:
        return kStepStopped;
      case UsbLinkResult::kGone:
        if (!gone_logged_)
          LogMessage(link_, link_.GetText(kMsgUsbWriterGone), writer_name_.c_str());
        gone_logged_ = true;
        return kStepRefused;
      default:
        return kStepRefused;
    }
  }

  StepResult Send(std::uint8_t code, std::span<const std::uint8_t> data, int index = 0,
                  std::uint16_t value = kCommandValue) {
    return FromLink(
        UsbSend(link_, {code, value, static_cast<std::uint16_t>(index)}, data, kUsbNoTimeLimit));
  }

  // The next reply into the receive buffer.
  StepResult Receive() {
    return FromLink(UsbReceive(link_, {kReadReply, kPlainValue, 0}, kReplySize, kUsbNoTimeLimit));
  }

  // The reply carries the writer's acceptance (a reply too short to carry it
  // does not).
  bool Accepted() const {
    return link_.framing.received_length > kAcceptedAt &&
           link_.framing.receive_buffer[kAcceptedAt] == kAccepted;
  }

  StepResult AwaitAcceptance() {
    if (const StepResult r = Receive(); r != kStepOk) return r;
    return Accepted() ? kStepOk : kStepRefused;
  }

  // Sends a command, pauses, and requires the writer to accept it.
  StepResult Exchange(std::uint8_t code, std::span<const std::uint8_t> data, int index,
                      int pause_ms) {
    if (const StepResult r = Send(code, data, index); r != kStepOk) return r;
    link_.Pause(pause_ms);
    return AwaitAcceptance();
  }

  // No trim runs over the writer: the option block takes the values that the
  // chip's factory trim gives for the project's frequency.
  void TakeFactoryTrim() {
    const FactoryTrim trim = ChooseFactoryTrim(
        std::span<const std::uint8_t>(link_.framing.receive_buffer), TraitsOf(link_),
        link_.target.fw_version, link_.target.fw_build, link_.request.set_frequency);
    link_.clock.trim_bytes[2] = trim.trim_byte_2;
    link_.clock.trim_bytes[3] = trim.trim_byte_3;
    link_.clock.adjusted_frequency = trim.adjusted_frequency;
  }

  // The writer takes program offsets and record addresses as 16-bit indexes:
  // what lies beyond them is refused before anything is erased. So is a
  // program larger than the chip's flash.
  StepResult CheckReach() {
    const std::int64_t length = ProgramLength(link_, true);
    if (length > kAddressableBytes) {
      LogMessage(link_, link_.GetText(kMsgProgramBeyondWriterReach), static_cast<int>(length));
      return kStepRefused;
    }
    if (const std::int64_t address = RecordAddressBeyond16Bits(link_); address >= 0) {
      LogMessage(link_, link_.GetText(kMsgRecordBeyondWriterReach), static_cast<unsigned>(address));
      return kStepRefused;
    }
    return ProgramFitsChip(link_) ? kStepOk : kStepRefused;
  }

  // The family's prepare byte; the reply is read and not examined.
  StepResult Prepare() {
    const std::uint8_t prepare[] = {TraitsOf(link_).usb_prepare};
    if (const StepResult r = Send(kPrepare, prepare, 0, kPlainValue); r != kStepOk) return r;
    const StepResult r = Receive();
    if (r == kStepStopped || gone_logged_) return r;
    link_.Pause(kAfterPrepareMs);
    return kStepOk;
  }

  StepResult Erase() {
    const std::uint32_t start = TickCount();
    LogMessage(link_, link_.GetText(kMsgErasing));
    if (const StepResult r = Unlock(); r != kStepOk) return r;
    link_.Pause(kBeforeEraseMs);
    const ChipRecord& chip = ChipOf(link_);
    const std::int64_t e = ProgramLength(link_, false);
    // At most 64 KB (CheckReach), so the count fits its byte.
    const std::int64_t beyond = e > chip.code_size ? SectorsFor(e - chip.code_size) : 0;
    const std::uint8_t erase[] = {static_cast<std::uint8_t>(beyond)};
    if (const StepResult r = Send(kErase, erase); r != kStepOk) return r;
    link_.Pause(kAfterEraseMs);
    const bool whole = (link_.target.status_record[kEraseScopeAt] & kErasesWholeFlash) != 0;
    const std::int64_t wait_ms = kEraseMsPerSector * (whole ? SectorsFor(chip.total_size)
                                                            : SectorsFor(chip.code_size) + beyond);
    link_.SetProgress(0, 1);
    for (std::int64_t k = 0; k < wait_ms; k += kEraseWaitStepMs) {
      link_.Pause(kEraseWaitStepMs);
      link_.SetProgress(static_cast<int>(k), static_cast<int>(wait_ms));
      if (Stopped()) return kStepStopped;
    }
    if (const StepResult r = Receive(); r != kStepOk) return r;
    std::copy_n(link_.framing.receive_buffer + kChipSerialAt, TargetIdentity::kChipSerialSize,
                link_.target.chip_serial);
    LogMessage(link_, link_.GetText(kMsgOkElapsed), SecondsSince(start));
    return kStepOk;
  }

  // The current password; the writer answers a wrong one or a locked chip
  // with its own reply codes.
  StepResult Unlock() {
    const std::vector<std::uint8_t> password = PasswordData(link_.request.password);
    if (const StepResult r = Send(kUnlock, password); r != kStepOk) return r;
    link_.Pause(kAfterUnlockMs);
    if (const StepResult r = Receive(); r != kStepOk) return r;
    switch (link_.ReplyCode()) {
      case kWrongPassword:
        LogMessage(link_, link_.GetText(kMsgUserPasswordError));
        return kStepRefused;
      case kChipLocked:
        LogMessage(link_, link_.GetText(kMsgChipLocked));
        return kStepRefused;
      default:
        return kStepOk;
    }
  }

  StepResult WriteUserKey() {
    if (!link_.request.user_key_present) return kStepOk;
    const std::span<const std::uint8_t> key(link_.image.user_key);
    for (int offset = 0; offset + kUserKeyBlockBytes <= static_cast<int>(key.size());
         offset += kUserKeyBlockBytes) {
      const std::uint8_t code = offset == 0 ? kFirstUserKeyBlock : kUserKey;
      if (const StepResult r =
              Exchange(code, key.subspan(static_cast<std::size_t>(offset), kUserKeyBlockBytes),
                       offset, kAfterKeyBlockMs);
          r != kStepOk) {
        return r;
      }
    }
    return kStepOk;
  }

  StepResult Program() {
    PrepareImage(link_, true, false);
    link_.Pause(kBeforeProgramMs);
    program_start_ = TickCount();
    LogMessage(link_, link_.GetText(kMsgProgrammingCode));
    const std::span<const std::uint8_t> image(link_.image.code_image);
    const int length = std::clamp(link_.image.code_length, 0, static_cast<int>(image.size()));
    link_.SetProgress(0, std::max(length, 1));
    std::uint8_t code =
        link_.request.program_variant ? kFirstProgramBlockVariant : kFirstProgramBlock;
    for (int p = 0; p < length; p += kProgramBlockBytes) {
      const auto n = static_cast<std::size_t>(std::min(length - p, kProgramBlockBytes));
      if (const StepResult r =
              Exchange(code, image.subspan(static_cast<std::size_t>(p), n), p, kAfterBlockMs);
          r != kStepOk) {
        return r;
      }
      link_.SetProgress(p, length);
      code &= static_cast<std::uint8_t>(~kFirstBlockBit);
      if (Stopped()) return kStepStopped;
    }
    return kStepOk;
  }

  StepResult ProgramRecords() {
    return static_cast<StepResult>(ForEachExtraRecord(link_, [this](const ExtraRecord& record) {
      if (const StepResult r = Exchange(kProgram, record.data, record.address, kAfterBlockMs);
          r != kStepOk) {
        return static_cast<int>(r);
      }
      return static_cast<int>(Stopped() ? kStepStopped : kStepOk);
    }));
  }

  StepResult ProgramOptions() {
    link_.SetProgress(0, 1);
    LogMessage(link_, link_.GetText(kMsgOkElapsed), SecondsSince(program_start_));
    link_.Pause(kBeforeOptionsMs);
    options_start_ = TickCount();
    LogMessage(link_, link_.GetText(kMsgProgrammingOptions));
    const int size = BuildOptionBlock(link_, option_block_);
    const std::span<const std::uint8_t> options(option_block_.data(),
                                                static_cast<std::size_t>(size));
    const DownloadRequest& settings = link_.request;
    const std::vector<std::uint8_t> new_password = PasswordData(settings.new_password);
    if (link_.target.fw_version == kFirmware73 &&
        link_.target.fw_build < kFirstBuildWithOptionsFirst) {
      if (settings.password_present) {
        if (const StepResult r = Exchange(kNewPassword, new_password, 0, kAfterNewPasswordMs);
            r != kStepOk) {
          return r;
        }
      }
      if (const StepResult r = Send(kOptions, options); r != kStepOk) return r;
      link_.Pause(kAfterLastOptionsMs);
      return AwaitAcceptance();
    }
    if (const StepResult r = Exchange(kOptions, options, 0, kAfterOptionsMs); r != kStepOk)
      return r;
    if (!settings.password_present || settings.new_password.length <= 0) return kStepOk;
    if (const StepResult r = Send(kNewPassword, new_password); r != kStepOk) return r;
    link_.Pause(kAfterNewPasswordMs);
    return AwaitAcceptance();
  }

  // What the chip now holds, reported from the values just programmed, laid
  // out where the report reads a status reply.
  void ReportProgrammedOptions() {
    LogMessage(link_, link_.GetText(kMsgOkElapsed), SecondsSince(options_start_));
    StatusBytes rx;
    rx.fill(0xFF);
    const bool older = TraitsOf(link_).status_layout == StatusLayout::kClockAt8;
    const std::span<const ReportedOptions> placements =
        older ? std::span<const ReportedOptions>(kReportedOlderFamilies)
              : std::span<const ReportedOptions>(kReportedNewerFamilies);
    for (const ReportedOptions& p : placements) {
      std::copy_n(option_block_.begin() + p.from, p.count, rx.begin() + p.to);
    }
    const auto adjusted = static_cast<std::uint32_t>(link_.clock.adjusted_frequency);
    const int at = older ? kAdjustedAtOlderFamilies : kAdjustedAtNewerFamilies;
    for (int i = 0; i < 4; ++i) {
      rx[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(adjusted >> (24 - 8 * i));
    }
    fw::ReportProgrammedOptions(link_, rx);
  }

  IspLink& link_;
  const std::string writer_name_;
  bool gone_logged_ = false;
  std::uint32_t program_start_ = 0;
  std::uint32_t options_start_ = 0;
  std::array<std::uint8_t, kOptionBlockSize> option_block_{};
};

}  // namespace

int DownloadThroughWriter(IspLink& link, int writer_number, std::string_view window_title) {
  WriterDownload download(link, writer_number);
  const int result = download.Run();
  download.End();
  ReportResult(link, result, window_title, false);
  return result;
}

}  // namespace fw
