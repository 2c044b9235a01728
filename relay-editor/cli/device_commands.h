#pragma once
// relay-cli commands that talk to the relay controller over a serial port: write,
// verify, read, erase and restart.

#include <CLI/CLI.hpp>

#include "cli_support.h"

namespace relay::cli {

void AddDeviceCommands(CLI::App& app, Streams& streams);

}  // namespace relay::cli
