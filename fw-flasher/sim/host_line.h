// The rate the host has set on its end of the pseudo-terminal. A pair shares
// one set of line settings, so either descriptor of it will do.
#pragma once

namespace fw::sim {

// Bits per second, or 0 when the settings cannot be read.
int HostLineRate(int fd);

}  // namespace fw::sim
