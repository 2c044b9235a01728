#include "isp/program_code.h"

#include <algorithm>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "isp/step_support.h"
#include "target/chips/code_image.h"
#include "target/chips/link_chip.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

using namespace boot_loader;

constexpr int kPauseMs = 10;
constexpr int kBlockTakenPauseMs = 5;
constexpr int kBlockTimeoutMs = 2000;
constexpr std::uint32_t kSixteenBitSpace = 0x10000;

enum class BlockOutcome { kTaken, kResend, kRefused };

class CodeProgrammer {
 public:
  CodeProgrammer(IspLink& link, std::uint8_t command)
      : link_(link),
        command_(command),
        pv_(link.target.protocol_variant),
        fw72_(link.target.fw_version >= kFirmware72),
        block_size_(std::max(link.target.block_size, 1)),
        total_(
            std::clamp(link.image.code_length, 0, static_cast<int>(link.image.code_image.size()))),
        pipelined_(link.board.mode && pv_ >= 3) {}

  // A board in front of a newer chip takes the next block as soon as it has
  // acknowledged the previous one (pipelined); otherwise every block waits for
  // the chip's reply, which a board relays.
  StepResult ProgramBlocks() {
    if (pipelined_) {
      link_.ResetReceiver();
      // Only acknowledgements of the blocks sent from here on count.
      link_.board.acknowledge = false;
    }
    for (int p = 0; p < total_; p += block_size_) {
      const int n = std::min(total_ - p, block_size_);
      const std::uint8_t* data = link_.image.code_image.data() + p;
      if (Skippable(data, n)) {
        link_.SetProgress(p, total_);
        command_ &= static_cast<std::uint8_t>(~kFirstBlockBit);
        continue;
      }
      const StepResult sent = pipelined_ ? SendPipelined(p, data, n) : SendUntilTaken(p, data, n);
      if (sent != kStepOk) return sent;
      link_.Pause(kBlockTakenPauseMs);
      link_.SetProgress(p, total_);
      command_ &= static_cast<std::uint8_t>(~kFirstBlockBit);
    }
    return pipelined_ ? AwaitLastChipReply() : kStepOk;
  }

 private:
  // Pipelined: the block is done once the board has acknowledged it (a bare
  // byte outside any frame) and a credit is left, one for the chip's reply to
  // the block before it. Each chip reply that arrives meanwhile adds a credit.
  StepResult SendPipelined(int p, const std::uint8_t* data, int n) {
    CommandBuilder block(link_);
    AddHeader(block, static_cast<std::uint32_t>(p), n);
    block.Add(std::span<const std::uint8_t>(data, static_cast<std::size_t>(n)));
    link_.SendPacket(block.data(), block.size());
    link_.StartTimeout(kBlockTimeoutMs);
    for (;;) {
      if (const StepResult r = TakeChipReplies(); r != kStepOk) return r;
      if (link_.board.acknowledge) {
        link_.board.acknowledge = false;
        ++board_acknowledgements_;
      }
      if (credits_ > 0 && board_acknowledgements_ > 0) {
        --credits_;
        --board_acknowledgements_;
        return kStepOk;
      }
    }
  }

  // After the last block: the chip's reply to it, within that block's time.
  StepResult AwaitLastChipReply() {
    while (credits_ <= 0) {
      if (const StepResult r = TakeChipReplies(); r != kStepOk) return r;
    }
    return kStepOk;
  }

  // One pass of the pipelined wait: the wait's checks, then any chip reply
  // that has come, which must take its block.
  StepResult TakeChipReplies() {
    if (const StepResult r = link_.CheckWait(); r != kStepOk) return r;
    if (!link_.ReceivePacket(link_.framing.receive_buffer, true)) return kStepOk;
    link_.ResetReceiver();
    if (link_.ReplyCode() != kProgram || link_.ReplyByte(1) != kAccepted) return kStepRefused;
    ++credits_;
    return kStepOk;
  }

  bool Skippable(const std::uint8_t* data, int n) const {
    return fw72_ && command_ < kLowestNonSkippingProgram &&
           std::all_of(data, data + n, [](std::uint8_t b) { return b == 0xFF; });
  }

  StepResult SendUntilTaken(int p, const std::uint8_t* data, int n) {
    const auto sum = static_cast<std::uint8_t>(ByteSum(data, n, 0));
    for (int repeats = 0;; ++repeats) {
      if (repeats > kMaxBlockRepeats) {
        LogMessage(link_, link_.GetText(kMsgResendLimit), kMaxBlockRepeats);
        return kStepRefused;
      }
      CommandBuilder block(link_);
      const std::uint8_t header = AddHeader(block, static_cast<std::uint32_t>(p), n);
      block.Add(std::span<const std::uint8_t>(data, static_cast<std::size_t>(n)));
      if (const StepResult r = SendAndWait(link_, block, kBlockTimeoutMs); r != kStepOk) return r;
      switch (Judge(header, sum)) {
        case BlockOutcome::kTaken:
          return kStepOk;
        case BlockOutcome::kRefused:
          return kStepRefused;
        case BlockOutcome::kResend:
          break;
      }
    }
  }

  // Returns the header's first byte, the command byte the reply answers.
  std::uint8_t AddHeader(CommandBuilder& block, std::uint32_t p, int n) {
    if (pv_ <= 2) {
      block.Add(next_classic_header_).AddBigEndian(p, 4).Add({0x00, static_cast<std::uint8_t>(n)});
      return next_classic_header_;
    }
    std::uint8_t code = kProgram;
    if (pv_ != 4) {
      if (p == 0) {
        code = command_ | kFirstBlockBit | kFollowingBlockBit;
      } else if (p < kSixteenBitSpace) {
        code = static_cast<std::uint8_t>((command_ & ~kFirstBlockBit) | kFollowingBlockBit);
      } else {
        code = static_cast<std::uint8_t>(command_ & ~(kFirstBlockBit | kFollowingBlockBit));
      }
    }
    block.Add(code).AddBigEndian(p & 0xFFFF, 2);
    if (fw72_) block.AddGuard(link_);
    return code;
  }

  BlockOutcome Judge(std::uint8_t header, std::uint8_t sum) {
    const std::uint8_t code = link_.ReplyCode();
    const bool sum_matches = link_.ReplyByte(1) == sum;
    if (pv_ == 0) {
      next_classic_header_ = kProgramClassic;
      if (code == kBlockTaken && sum_matches) return BlockOutcome::kTaken;
      if (code == kResendBlock) {
        next_classic_header_ = kResendHeader;
        return BlockOutcome::kResend;
      }
      return BlockOutcome::kRefused;
    }
    if (pv_ <= 2) {
      next_classic_header_ = code;
      if (code == kBlockTakenVariants1And2 && sum_matches) return BlockOutcome::kTaken;
      if (code == kResendHeader) return BlockOutcome::kResend;
      return BlockOutcome::kRefused;
    }
    return ReplyAccepts(link_, header) ? BlockOutcome::kTaken : BlockOutcome::kRefused;
  }

  IspLink& link_;
  std::uint8_t command_;
  const int pv_;
  const bool fw72_;
  const int block_size_;
  const int total_;
  // Protocol variants 0-2: the first header byte, 0x30 after a resend request.
  std::uint8_t next_classic_header_ = kProgramClassic;
  const bool pipelined_;
  // Pipelined: one block may be sent before the chip answered the one before.
  int credits_ = 1;
  int board_acknowledgements_ = 0;
};

// Each record of the list: 02, address high, address low, guard bytes, data.
StepResult ProgramRecords(IspLink& link) {
  return static_cast<StepResult>(ForEachExtraRecord(link, [&link](const ExtraRecord& r) {
    CommandBuilder record(link);
    record.Add(kProgram).AddBigEndian(static_cast<std::uint32_t>(r.address), 2).AddGuard(link);
    record.Add(r.data);
    if (const StepResult result = SendAndWait(link, record, kBlockTimeoutMs); result != kStepOk) {
      return static_cast<int>(result);
    }
    return ReplyAccepts(link, kProgram) ? static_cast<int>(kStepOk)
                                        : static_cast<int>(kStepRefused);
  }));
}

// Protocol variants 1 and 2 close programming with the chip id.
StepResult CloseProgramming(IspLink& link) {
  CommandBuilder close(link);
  close.Add(kCloseProgramming);
  AddChipId(close, link);
  if (const StepResult r = SendAndWait(link, close, kBlockTimeoutMs); r != kStepOk) return r;
  return link.ReplyCode() == kProgrammingClosed ? kStepOk : kStepRefused;
}

}  // namespace

StepResult ProgramCode(IspLink& link, std::uint8_t command, bool with_records) {
  link.Pause(kPauseMs);
  const std::uint32_t start = TickCount();
  LogMessage(link, link.GetText(kMsgProgrammingCode));
  link.SetProgress(0, std::max(link.image.code_length, 1));
  if (const StepResult r = CodeProgrammer(link, command).ProgramBlocks(); r != kStepOk) return r;
  if (with_records && link.target.fw_version >= kFirmware72) {
    if (const StepResult r = ProgramRecords(link); r != kStepOk) return r;
  }
  const int pv = link.target.protocol_variant;
  const bool needs_capable = (ChipOf(link).flags & chip_flags::kOptionsNeedCapableFirmware) != 0;
  if ((pv == 1 || pv == 2) && (link.target.option_capable_firmware || !needs_capable)) {
    if (const StepResult r = CloseProgramming(link); r != kStepOk) return r;
  }
  link.SetProgress(0, std::max(link.image.code_length, 1));
  LogMessage(link, link.GetText(kMsgOkElapsed), SecondsSince(start));
  return kStepOk;
}

}  // namespace fw
