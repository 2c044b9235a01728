// The byte-wise scrambling of the project data and of the board firmware it
// carries. Each byte depends only on its own value and its offset from the start
// of the block, so a block can be unscrambled, patched and scrambled again.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fw {

void ScrambleProjectBytes(std::uint8_t* bytes, std::size_t count);
void UnscrambleProjectBytes(std::uint8_t* bytes, std::size_t count);

}  // namespace fw
