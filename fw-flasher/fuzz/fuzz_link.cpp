// libFuzzer target: arbitrary bytes from the line into the receiver, then the
// reply into identification and the option report.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "isp/handshake.h"
#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"
#include "target/chips/report_options.h"

namespace {

// Hands out the fuzz input in chunks whose sizes the input chooses.
class FuzzPort : public fw::SerialPort {
 public:
  FuzzPort(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool SetQueueSizes(int, int) override { return true; }
  bool GetLine(fw::LineSettings& l) override {
    l = line_;
    return true;
  }
  bool SetLine(const fw::LineSettings& l) override {
    line_ = l;
    return true;
  }
  bool SetTimeouts(const fw::PortTimeouts&) override { return true; }
  bool Purge() override { return true; }
  int Read(std::uint8_t* buffer, int n) override {
    if (at_ >= size_) return 0;
    const int chunk = 1 + data_[at_++] % 16;
    const int take = static_cast<int>(std::min<std::size_t>(
        {static_cast<std::size_t>(n), static_cast<std::size_t>(chunk), size_ - at_}));
    std::memcpy(buffer, data_ + at_, static_cast<std::size_t>(take));
    at_ += static_cast<std::size_t>(take);
    return take;
  }
  int Write(const std::uint8_t*, int n) override { return n; }
  bool Lost() const override { return false; }
  std::string Name() const override { return "fuzz"; }
  bool done() const { return at_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  fw::LineSettings line_{};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  static fw::IspLink link;  // reused like the dialog's link, re-initialised per run
  link.Reinitialise();
  link.outputs.echo = nullptr;
  link.target.protocol_variant = data[0] & 7;
  link.board.mode = data[1] & 1;
  link.request.paced_sync = (data[1] >> 1) & 1;
  link.request.quiet_information = (data[1] >> 2) & 1;
  link.request.language = (data[1] >> 3) & 1;
  link.framing.send_buffer[0] = data[2];
  link.request.frequency_override = data[3] & 1;
  FuzzPort port(data + 4, size - 4);
  link.port = &port;
  link.ReceivePacket(nullptr, false);
  const bool verify = (data[1] >> 4) & 1;
  while (!port.done()) {
    if (link.ReceivePacket(link.framing.receive_buffer, verify)) {
      if (fw::IdentifyTarget(link) != 0) {
        // Decode the reply as some chip anyway.
        link.target.chip_index = data[3] % static_cast<int>(fw::ChipTable().size());
        std::memcpy(link.target.status_record, link.framing.receive_buffer,
                    sizeof link.target.status_record);
        fw::ReportOptions(link);
      }
    }
  }
  return 0;
}
