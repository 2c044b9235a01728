#pragma once
// relay-cli commands that need only the program model: encode, describe,
// list and optimise.

#include <CLI/CLI.hpp>

#include "cli_support.h"

namespace relay::cli {

void AddModelCommands(CLI::App& app, Streams& streams);

}  // namespace relay::cli
