// The window's downloads into the simulated chip: a project for the
// simulator's chip and the chip itself on a pseudo-terminal, in process.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QPlainTextEdit>
#include <QString>

#include "app/gui/flasher_dialog.h"
#include "sim/boot_loader_sim.h"
#include "sim/oscillator_model.h"
#include "target/chips/chip_table.h"
#include "tests/app/gui/gui_harness.h"

namespace fw::test {

constexpr const char* kSimChip = "QMV45A60000";
constexpr int kDownloadTimeoutMs = 20000;
constexpr int kSimCodeSize = 1000;

// A project for the simulator's chip with serial number 1 (BCD, 4 bytes at
// 0x100, starting at 100) and the repeat delay in seconds minus one.
inline Project SimulatorProject(int repeat_delay = 0, bool chinese = false) {
  std::vector<std::string> strings = ProjectStrings(chinese);
  strings[5] = "1,9," + std::to_string(repeat_delay) + ",255";
  strings[9] = kSimChip;
  Project p = MakeProject(strings, 1);
  p.chip_index = FindChipByName(kSimChip);
  p.option_words = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  p.set_frequency = 11059200;
  p.sync_burst = 1;
  for (int i = 0; i < kSimCodeSize; ++i)
    p.code_block.push_back(static_cast<std::uint8_t>(i * 7 + 1));
  return p;
}

// The chip on a pseudo-terminal, with the oscillator the clock trim measures;
// a test may change the chip (its reply code) and its faults before Start.
struct Simulator {
  Simulator() { chip.chip_index = FindChipByName(kSimChip); }
  bool Start(std::string& error) {
    sim::SimRunConfig run;
    run.measurement = &oscillator;
    run.faults = faults;
    sim_ = std::make_unique<sim::BootLoaderSim>(chip, sim::SimBoardConfig{}, run);
    return sim_->Start(error);
  }
  sim::BootLoaderSim& operator*() { return *sim_; }
  sim::BootLoaderSim* operator->() { return sim_.get(); }

  sim::SimChipConfig chip;
  sim::SimFaults faults;
  sim::OscillatorModel oscillator;

 private:
  std::unique_ptr<sim::BootLoaderSim> sim_;
};

// The port as the system's device list would report a download cable on it.
inline SerialDeviceInfo CableOn(const std::string& path) {
  return {"pts", path, "Test", "Cable", "ch341"};
}

inline bool LogHas(FlasherDialog& d, const QString& text) {
  return d.log()->toPlainText().contains(text);
}

}  // namespace fw::test
