// A flasher link on the slave side of a simulator's pseudo-terminal, set up as a
// download would set it up, with a bound on how long any step may run.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stop_token>
#include <thread>

#include "isp/expected_chip.h"
#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "sim/boot_loader_sim.h"
#include "target/chips/chip_table.h"
#include "tests/support/chip_finder.h"
#include "tests/support/string_log.h"

namespace fw::test {

// Forwards to a real port and keeps what was written.
class RecordingPort : public SerialPort {
 public:
  explicit RecordingPort(SerialPort& inner) : inner_(inner) {}
  bool SetQueueSizes(int a, int b) override { return inner_.SetQueueSizes(a, b); }
  bool GetLine(LineSettings& l) override { return inner_.GetLine(l); }
  bool SetLine(const LineSettings& l) override {
    lines_set.push_back(l);
    return inner_.SetLine(l);
  }
  bool SetTimeouts(const PortTimeouts& t) override { return inner_.SetTimeouts(t); }
  bool Purge() override { return inner_.Purge(); }
  int Read(std::uint8_t* b, int n) override { return inner_.Read(b, n); }
  int Write(const std::uint8_t* b, int n) override {
    writes.emplace_back(b, b + n);
    return inner_.Write(b, n);
  }
  bool Lost() const override { return inner_.Lost(); }
  std::string Name() const override { return inner_.Name(); }
  std::vector<std::vector<std::uint8_t>> writes;
  std::vector<LineSettings> lines_set;

 private:
  SerialPort& inner_;
};

class Countdown {
 public:
  // Clears the running flag after the given time unless stopped first.
  Countdown(IspLink& link, std::chrono::milliseconds limit)
      : thread_([&link, limit, this](std::stop_token stop) {
          std::unique_lock lock(mutex_);
          if (!cv_.wait_for(lock, stop, limit, [] { return false; })) link.running = false;
        }) {}

 private:
  std::mutex mutex_;
  std::condition_variable_any cv_;
  std::jthread thread_;
};

class SimSession {
 public:
  SimSession(sim::SimChipConfig chip, sim::SimBoardConfig board = {}, sim::SimRunConfig run = {})
      : sim_(chip, board, std::move(run)), recording_(port_) {}

  // Starts the simulator, opens its slave and prepares the link for the given
  // expected chip (index into the chip table).
  void Open(int expected_chip) {
    std::string error;
    ASSERT_TRUE(sim_.Start(error)) << error;
    ASSERT_TRUE(port_.Open(sim_.slave_path())) << port_.error();
    link.Reinitialise();
    link.port = &recording_;
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = 0;
    ExpectChip(link, ChipTable()[static_cast<std::size_t>(expected_chip)]);
    link.running = true;
  }

  bool Logged(const std::string& t) const { return log.text.find(t) != std::string::npos; }

  sim::BootLoaderSim& sim() { return sim_; }
  RecordingPort& recording() { return recording_; }

  IspLink link;
  StringLog log;

 private:
  sim::BootLoaderSim sim_;
  TermiosPort port_;
  RecordingPort recording_;
};

// First record of a family with sub-model 0 (and, if asked, an alternate id).
inline int ChipOfFamily(int family, bool with_alt_id = false) {
  return FindChip([&](const ChipRecord& r) {
    return FamilyCode(r) == family && r.sub_model == 0 && (!with_alt_id || r.alt_id != 0);
  });
}

}  // namespace fw::test
