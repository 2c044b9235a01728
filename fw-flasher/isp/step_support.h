// What the download steps share: a command built in the link's send buffer, the
// exchange that sends it and waits, and the checks of a newer boot loader's reply.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "isp/link/isp_link.h"

namespace fw {

// Appends bytes to a payload buffer; what would run past its end is dropped and
// noted, so a step can refuse a command that did not fit.
class CommandBuilder {
 public:
  // Builds in the link's send buffer, which the option report reads afterwards.
  explicit CommandBuilder(IspLink& link)
      : CommandBuilder(link.framing.send_buffer, FramingState::kBufferSize) {}
  CommandBuilder(std::uint8_t* buffer, int capacity) : buffer_(buffer), capacity_(capacity) {}

  CommandBuilder& Add(std::uint8_t byte);
  CommandBuilder& Add(std::initializer_list<std::uint8_t> bytes);
  CommandBuilder& Add(std::span<const std::uint8_t> bytes);
  // The low `bytes` bytes of value, most significant first.
  CommandBuilder& AddBigEndian(std::uint32_t value, int bytes);
  // The guard bytes that commands of the 7.2 firmware carry.
  CommandBuilder& AddGuard(const IspLink& link);

  const std::uint8_t* data() const { return buffer_; }
  std::uint8_t* data() { return buffer_; }
  int size() const { return size_; }
  bool overflowed() const { return overflowed_; }

 private:
  std::uint8_t* buffer_;
  int capacity_;
  int size_ = 0;
  bool overflowed_ = false;
};

// Sends the command and waits for a verified reply: kStepOk with the reply in
// the receive buffer, or why the wait ended.
StepResult SendAndWait(IspLink& link, const CommandBuilder& command, int timeout_ms);

// A newer boot loader took the command: its code in the reply's low nibble and
// kAccepted as the second byte.
bool ReplyAccepts(const IspLink& link, std::uint8_t command);

// Seconds since a tick count, as the elapsed-time lines show them.
double SecondsSince(std::uint32_t start_tick);

// The program, as far as a download erases it, fits the chip's flash; when it
// does not, message 8234 says so and nothing may be erased.
bool ProgramFitsChip(IspLink& link);

// The record's chip id as the prepare, check and close commands carry it:
// 00 00 36 01 id-high id-low.
CommandBuilder& AddChipId(CommandBuilder& command, const IspLink& link);

}  // namespace fw
