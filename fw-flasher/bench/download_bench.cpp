// Download benchmark: whole downloads of 8, 32 and 64 KiB through the simulated
// boot loader on a paced line at 9,600 and 115,200 baud. For each it prints the
// time the download took, the line time of every byte that crossed the line (both
// directions, start, stop and parity bits), the pauses the protocol asks for (as
// the link recorded them) and the ratio time / (line time + pauses).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "isp/expected_chip.h"
#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "isp/serial_download.h"
#include "sim/boot_loader_sim.h"
#include "target/chips/chip_table.h"

namespace {

// A serial port that adds up the time each byte takes on the line at the rate
// and framing the port is set to.
class LineTimer : public fw::SerialPort {
 public:
  explicit LineTimer(fw::SerialPort& inner) : inner_(inner) {}
  bool SetQueueSizes(int a, int b) override { return inner_.SetQueueSizes(a, b); }
  bool GetLine(fw::LineSettings& l) override { return inner_.GetLine(l); }
  bool SetLine(const fw::LineSettings& l) override {
    line_ = l;
    return inner_.SetLine(l);
  }
  bool SetTimeouts(const fw::PortTimeouts& t) override { return inner_.SetTimeouts(t); }
  bool Purge() override { return inner_.Purge(); }
  int Read(std::uint8_t* b, int n) override {
    const int got = inner_.Read(b, n);
    Count(got);
    return got;
  }
  int Write(const std::uint8_t* b, int n) override {
    const int sent = inner_.Write(b, n);
    Count(sent);
    return sent;
  }
  bool Lost() const override { return inner_.Lost(); }
  std::string Name() const override { return inner_.Name(); }

  double seconds() const { return seconds_; }

 private:
  void Count(int bytes) {
    if (bytes <= 0 || line_.baud <= 0) return;
    const int bits = 1 + line_.data_bits + line_.stop_bits + (line_.parity != fw::Parity::kNone);
    seconds_ += static_cast<double>(bytes) * bits / line_.baud;
  }

  fw::SerialPort& inner_;
  fw::LineSettings line_{};
  double seconds_ = 0;
};

struct Figures {
  int result = -1;
  double time = 0, line = 0, pauses = 0;
};

Figures RunOnce(int chip_index, int image_bytes, int highest_baud) {
  fw::sim::SimChipConfig chip;
  chip.chip_index = chip_index;
  chip.fw_version = 0x71;
  chip.frequency = 11059200;
  fw::sim::SimRunConfig run;
  run.pace = true;
  fw::sim::BootLoaderSim sim(chip, {}, run);
  std::string error;
  if (!sim.Start(error)) {
    std::fprintf(stderr, "isp-sim: %s\n", error.c_str());
    return {};
  }
  fw::TermiosPort port;
  if (!port.Open(sim.slave_path())) {
    std::fprintf(stderr, "%s\n", port.error().c_str());
    return {};
  }
  LineTimer timer(port);
  fw::IspLink link;
  link.Reinitialise();
  link.port = &timer;
  link.outputs.echo = nullptr;
  fw::ExpectChip(link, fw::ChipTable()[static_cast<std::size_t>(chip_index)]);
  link.target.chip_index = chip_index;
  link.request.highest_baud = highest_baud;
  link.image.option_bytes[15] = 0x00;
  link.image.image_length = image_bytes;
  // Data in every block, so that none is skipped.
  for (int i = 0; i < image_bytes; ++i) {
    link.image.image_source[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 13 + 7);
  }
  const auto start = std::chrono::steady_clock::now();
  Figures f;
  f.result = fw::DownloadOnOpenPort(link);
  f.time = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.line = timer.seconds();
  f.pauses = static_cast<double>(link.pauses.total_ms) / 1000.0;
  return f;
}

}  // namespace

int main() {
  const int chip = fw::FindChipByName("QMV11A64000");
  if (chip <= 0) return 1;
  std::printf(
      "fw-flasher download through isp-sim --pace (QMV11A64000, 11.0592 MHz, "
      "handshake at 2400 baud)\n");
  std::printf("%-8s %-7s %9s %9s %9s %7s\n", "image", "baud", "time s", "line s", "pauses s",
              "ratio");
  int failures = 0;
  for (const int baud : {9600, 115200}) {
    for (const int kib : {8, 32, 64}) {
      const Figures f = RunOnce(chip, kib * 1024, baud);
      if (f.result != 0) {
        std::printf("%3d KiB  %-7d download failed with result %d\n", kib, baud, f.result);
        ++failures;
        continue;
      }
      std::printf("%3d KiB  %-7d %9.3f %9.3f %9.3f %7.3f\n", kib, baud, f.time, f.line, f.pauses,
                  f.time / (f.line + f.pauses));
      std::fflush(stdout);
    }
  }
  return failures == 0 ? 0 : 1;
}
