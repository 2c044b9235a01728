// fw-flash chips: the chip names the table knows, the names --chip takes.
#pragma once

#include <cstdio>
#include <string_view>

namespace fw {

// Writes, one a line in table order, every chip name that contains pattern
// (without regard to case; an empty pattern matches all). Returns the number
// of names written.
int ListChips(std::string_view pattern, std::FILE* out);

}  // namespace fw
