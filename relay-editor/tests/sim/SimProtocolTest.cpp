#include <gtest/gtest.h>

#include "sim/SimProtocol.h"

namespace relay::sim {
namespace {

std::vector<std::uint8_t> B(std::initializer_list<int> values) {
  std::vector<std::uint8_t> v;
  for (int x : values) v.push_back(static_cast<std::uint8_t>(x));
  return v;
}

TEST(SimProtocolTest, TakesRequestsFromTheFrontOfTheBuffer) {
  struct TCase {
    const char* name;
    std::vector<std::uint8_t> buffer;
    TScan scan;
    int command;
    int block;
    std::size_t left;  // bytes left in the buffer afterwards
  };
  const TCase cases[] = {
      {"read request", B({0x24, 0xFF, 0x06, 0xFE, 0x01, 0, 0, 0, 0x28}), TScan::Frame, 0xFE, 1, 0},
      {"noise dropped first", B({0x00, 0x11, 0x24, 0xFF, 0x06, 0xFE, 0x01, 0, 0, 0, 0x28}),
       TScan::Frame, 0xFE, 1, 0},
      {"erase with its fixed last byte at address 1", B({0x24, 0x01, 0x06, 0xFF, 0, 0, 0, 0, 0x28}),
       TScan::Frame, 0xFF, 0, 0},
      {"bad check skipped to the next frame",
       B({0x24, 0xFF, 0x06, 0xFE, 0x01, 0, 0, 0, 0x29, 0x24, 0xFF, 0x06, 0xFE, 0x02, 0, 0, 0,
          0x29}),
       TScan::Frame, 0xFE, 2, 0},
      {"incomplete", B({0x24, 0xFF, 0x06, 0xFE}), TScan::NeedMore, 0, 0, 4},
      {"nothing", B({0x01, 0x02}), TScan::Empty, 0, 0, 0},
      {"following frame stays", B({0x24, 0xFF, 0x06, 0xFD, 0, 0, 0, 0, 0x26, 0x24}), TScan::Frame,
       0xFD, 0, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> buffer = c.buffer;
    TRequest request;
    EXPECT_EQ(TakeRequest(buffer, request), c.scan);
    if (c.scan == TScan::Frame) {
      EXPECT_EQ(request.command, c.command);
      EXPECT_EQ(request.block, c.block);
    }
    EXPECT_EQ(buffer.size(), c.left);
  }
}

TEST(SimProtocolTest, AnswersCarryACorrectCheckByte) {
  EXPECT_EQ(Acknowledgement(0xFF, 5), B({0x24, 0xFF, 0x06, 0xFF, 0x05, 0, 0, 0, 0x2D}));
  EXPECT_EQ(Acknowledgement(0xFF, 0), B({0x24, 0xFF, 0x06, 0xFF, 0x00, 0, 0, 0, 0x28}));
  std::uint8_t data[16];
  for (int i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(i);
  const auto answer = ReadAnswer(0x01, 3, data);
  ASSERT_EQ(answer.size(), 22u);
  EXPECT_EQ(answer[2], 0x13);
  EXPECT_EQ(answer[3], 0xFE);
  EXPECT_EQ(answer[4], 3);
  EXPECT_EQ(answer.back(), SumByte(answer.data(), 21));
}

}  // namespace
}  // namespace relay::sim
