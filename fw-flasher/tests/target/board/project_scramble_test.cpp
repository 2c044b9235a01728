// Scrambling of the project data and the board firmware it carries.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "target/board/project_scramble.h"

namespace fw {
namespace {

TEST(ProjectScrambleTest, UnscrambleUndoesScrambleAndBack) {
  std::vector<std::uint8_t> plain(5000);
  for (std::size_t i = 0; i < plain.size(); ++i)
    plain[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
  auto bytes = plain;
  ScrambleProjectBytes(bytes.data(), bytes.size());
  int unchanged = 0;
  for (std::size_t i = 0; i < plain.size(); ++i) unchanged += bytes[i] == plain[i];
  EXPECT_LT(unchanged, 100) << "scrambling must change the bytes";
  UnscrambleProjectBytes(bytes.data(), bytes.size());
  EXPECT_EQ(bytes, plain);

  // The other way round, as the board update does with the stored block.
  auto stored = plain;
  UnscrambleProjectBytes(stored.data(), stored.size());
  ScrambleProjectBytes(stored.data(), stored.size());
  EXPECT_EQ(stored, plain);

  // Patching one byte in between leaves every other byte as it was.
  auto patched = plain;
  UnscrambleProjectBytes(patched.data(), patched.size());
  patched[4999] = 0x42;
  ScrambleProjectBytes(patched.data(), patched.size());
  for (std::size_t i = 0; i < 4999; ++i) ASSERT_EQ(patched[i], plain[i]) << i;
  UnscrambleProjectBytes(patched.data(), patched.size());
  EXPECT_EQ(patched[4999], 0x42);

  ScrambleProjectBytes(nullptr, 10);  // no crash
}

}  // namespace
}  // namespace fw
