// Simulated USB writers for tests, with a chip behind them whose flash is
// exactly 64 KB: the most the writer's 16-bit addresses reach.
#pragma once

#include "sim/usb_writer_sim.h"
#include "tests/support/chip_finder.h"

namespace fw::test {

// A chip of a family below 53 (prepare byte 0x03) whose code area of 60 KB
// and data area of 4 KB make 64 KB of flash.
inline int WriterTestChip() {
  return FindChip([](const ChipRecord& r) {
    return r.code_size == 61440 && r.data_size == 4096 && FamilyCode(r) < 53;
  });
}

inline sim::SimUsbWriterConfig WriterConfigFor(int chip_index) {
  sim::SimUsbWriterConfig config;
  config.chip.chip_index = chip_index;
  return config;
}

inline sim::SimUsbWriterConfig WriterTestConfig() { return WriterConfigFor(WriterTestChip()); }

}  // namespace fw::test
