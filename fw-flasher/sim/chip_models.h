// The chip models a simulated chip can be. The simulator keeps its own copy of
// them, read from chips.csv at build time by its own generator: nothing of the
// flasher's chip table or its reading is used, so a misreading on either side
// shows as a failure on the other.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace fw::sim {

struct SimChipModel {
  const char* name;
  int family;
  int protocol_variant;  // of the record; a boot loader from 7.2 on may speak another
  int baud_generator;
  std::uint16_t id;
  std::uint16_t alt_id;  // 0: none
  std::uint32_t code_size;
  std::uint32_t data_size;
  std::uint8_t sub_model;
};

// Every model in the order of chips.csv, model 0 the placeholder, so that an
// index means the same model here as in the flasher's table.
std::span<const SimChipModel> SimChipModels();

// The model at index; throws std::out_of_range past the table.
const SimChipModel& SimChipModelAt(int index);

// Index of the model with this name (exact), or -1.
int SimChipIndex(std::string_view name);

}  // namespace fw::sim
