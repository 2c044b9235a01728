// The files isp-sim writes after each download the host closes: the flash as
// it is, and the rest of the chip's memory as JSON.
#pragma once

#include <string>
#include <string_view>

#include "sim/chip_memory.h"

namespace fw::sim {

// Replaces the file in one step, so a reader never sees half of it.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

// The chip's memory besides the flash's code area:
//   chip, code_size, data_size, downloads, line_rate (numbers and the name);
//   data_area, option_record, option_write, user_key, password: hexadecimal
//   text, two digits a byte (option_write and user_key null until written);
//   status_bytes: status reply position -> byte written by an option block;
//   wrong_passwords, locked; clock: Hz the chip runs at (the configured clock,
//   or what a trim made of it); trim: the oscillator setting the last option
//   write programmed (trim, range, divider, locked_48mhz), or null.
std::string StateJson(const ChipMemory& memory, const std::string& chip_name, int line_rate);

}  // namespace fw::sim
