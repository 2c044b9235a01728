#include "isp/step_support.h"

#include "isp/link/protocol_codes.h"
#include "target/chips/code_image.h"
#include "target/chips/link_chip.h"

namespace fw {

CommandBuilder& CommandBuilder::Add(std::uint8_t byte) {
  if (size_ < capacity_) {
    buffer_[size_++] = byte;
  } else {
    overflowed_ = true;
  }
  return *this;
}

CommandBuilder& CommandBuilder::Add(std::initializer_list<std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) Add(b);
  return *this;
}

CommandBuilder& CommandBuilder::Add(std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) Add(b);
  return *this;
}

CommandBuilder& CommandBuilder::AddBigEndian(std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) Add(static_cast<std::uint8_t>(value >> (8 * i)));
  return *this;
}

CommandBuilder& CommandBuilder::AddGuard(const IspLink& link) {
  return Add(std::span<const std::uint8_t>(link.target.guard));
}

StepResult SendAndWait(IspLink& link, const CommandBuilder& command, int timeout_ms) {
  link.SendPacket(command.data(), command.size());
  return link.WaitForReply(timeout_ms);
}

bool ReplyAccepts(const IspLink& link, std::uint8_t command) {
  return link.ReplyCode() == (command & boot_loader::kReplyCodeMask) &&
         link.ReplyByte(1) == boot_loader::kAccepted;
}

double SecondsSince(std::uint32_t start_tick) { return (TickCount() - start_tick) * 0.001; }

CommandBuilder& AddChipId(CommandBuilder& command, const IspLink& link) {
  command.Add(std::span<const std::uint8_t>(boot_loader::kChipIdPrefix));
  return command.AddBigEndian(ChipOf(link).id, 2);
}

bool ProgramFitsChip(IspLink& link) {
  const std::int64_t erased = ProgramLength(link, false);
  const ChipRecord& chip = ChipOf(link);
  if (erased <= chip.total_size) return true;
  LogMessage(link, link.GetText(kMsgProgramBeyondFlash), static_cast<int>(erased),
             static_cast<int>(chip.total_size));
  return false;
}

}  // namespace fw
