// The simulator's flash, line clock and fault options on their own.
#include <gtest/gtest.h>

#include "sim/line_clock.h"
#include "sim/sim_faults.h"
#include "sim/sim_flash.h"

namespace fw::sim {
namespace {

TEST(SimFlashTest, EraseTakesWholeSectorsInsideTheArray) {
  SimFlash flash(1024, 600, 0x00);  // the last sector is cut short by the array's end
  EXPECT_TRUE(flash.Erase(100, 10));
  EXPECT_EQ(flash.bytes()[0], 0xFF);
  EXPECT_EQ(flash.bytes()[511], 0xFF);
  EXPECT_EQ(flash.bytes()[512], 0x00);
  EXPECT_TRUE(flash.Erase(1536, 512)) << "the partial last sector";
  EXPECT_EQ(flash.bytes().back(), 0xFF);
  EXPECT_FALSE(flash.Erase(1536, 513));
  EXPECT_FALSE(flash.Erase(0, ~std::uint64_t{0}));
  EXPECT_EQ(flash.bytes()[1024], 0x00) << "a refused erase erases nothing";
  EXPECT_TRUE(flash.Erase(0, 0));
  EXPECT_EQ(flash.code_area().size(), 1024u);
  EXPECT_EQ(flash.data_area().size(), 600u);
}

TEST(SimFlashTest, ProgramOnlyClearsBitsAndStaysInside) {
  SimFlash flash(512, 0, 0xFF);
  const std::uint8_t a[] = {0xF0, 0x3C};
  const std::uint8_t b[] = {0x0F, 0xFF};
  EXPECT_TRUE(flash.Program(510, a));
  EXPECT_TRUE(flash.Program(510, b));
  EXPECT_EQ(flash.bytes()[510], 0x00);
  EXPECT_EQ(flash.bytes()[511], 0x3C);
  EXPECT_FALSE(flash.Program(511, a));
  EXPECT_FALSE(flash.Program(~std::uint64_t{0}, a));
  EXPECT_EQ(flash.bytes()[511], 0x3C);
}

TEST(LineClockTest, BytesFollowEachOtherAtTheLinesPace) {
  using namespace std::chrono;
  LineClock line;
  const auto t0 = LineClock::Clock::now();
  const auto first = line.Carry(t0, 2400, LineClock::BitsPerByte(true));
  auto last = first;
  for (int i = 1; i < 10; ++i) last = line.Carry(t0, 2400, LineClock::BitsPerByte(true));
  EXPECT_NEAR(duration<double>(first - t0).count(), 11.0 / 2400, 1e-6);
  EXPECT_NEAR(duration<double>(last - t0).count(), 110.0 / 2400, 1e-6);
  // A byte handed over after the line went quiet starts at once.
  const auto later = last + seconds(1);
  EXPECT_NEAR(
      duration<double>(line.Carry(later, 9600, LineClock::BitsPerByte(false)) - later).count(),
      10.0 / 9600, 1e-6);
  EXPECT_EQ(line.Carry(later, 0, 10), later + LineClock::ByteTime(9600, 10)) << "rate unknown";
}

TEST(SimFaultsTest, CommandLineForms) {
  SimFaults f;
  EXPECT_TRUE(ParseResend("4", f));
  EXPECT_TRUE(ParseResend("7:20", f));
  EXPECT_EQ(f.resend_requests, (std::map<int, int>{{4, 1}, {7, 20}}));
  for (const char* bad : {"", "0", "x", "4:", "4:0", "-1", "4:5:6"}) {
    EXPECT_FALSE(ParseResend(bad, f)) << bad;
  }
  EXPECT_TRUE(ParseSilentAfter("erase", f));
  EXPECT_EQ(f.silent_after, SimStep::kErase);
  EXPECT_TRUE(ParseSilentAfter("block:3", f));
  EXPECT_EQ(f.silent_after, SimStep::kBlock);
  EXPECT_EQ(f.silent_after_block, 3);
  for (const char* bad : {"", "erase:2", "block:", "block:0", "blocks", "nothing"}) {
    EXPECT_FALSE(ParseSilentAfter(bad, f)) << bad;
  }
  for (SimStep step :
       {SimStep::kPrepare, SimStep::kBaud, SimStep::kBaudCheck, SimStep::kPassword, SimStep::kErase,
        SimStep::kUserKey, SimStep::kBlock, SimStep::kRecord, SimStep::kClose, SimStep::kOptions,
        SimStep::kNewPassword, SimStep::kMeasure}) {
    EXPECT_EQ(StepNamed(StepName(step)), step);
  }
}

}  // namespace
}  // namespace fw::sim
