#pragma once
// The serial devices the system has now, as device paths, for the port box.

#include <string>
#include <vector>

namespace relay::app {

std::vector<std::string> SystemSerialPorts();

}  // namespace relay::app
