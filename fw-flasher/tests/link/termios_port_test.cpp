// The termios port: names, exclusive open, bounded reads, a device that goes away.
#include <gtest/gtest.h>

#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "isp/link/termios_port.h"
#include "tests/support/pseudo_terminal.h"

namespace fw {
namespace {

TEST(PortNameTest, NamesMapToDevices) {
  EXPECT_EQ(ResolvePortName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(ResolvePortName("COM12"), "/dev/ttyS11");
  EXPECT_EQ(ResolvePortName("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(ResolvePortName("/dev/pts/3"), "/dev/pts/3");
  EXPECT_EQ(ResolvePortName("COM0"), "/dev/COM0");
  EXPECT_EQ(ResolvePortName("COM99999999999"), "/dev/COM99999999999") << "no overflow";
  TermiosPort port;
  EXPECT_FALSE(port.Open("/nonexistent/ttyS0"));
  EXPECT_NE(port.error().find("/nonexistent/ttyS0"), std::string::npos);
  EXPECT_FALSE(port.Open("/dev/null")) << "not a serial device";
  EXPECT_EQ(port.Read(nullptr, 4), 0);
}

TEST(TermiosPortTest, ParityBitsForEachParity) {
  EXPECT_EQ(ParityFlags(Parity::kNone), 0u);
  EXPECT_EQ(ParityFlags(Parity::kOdd), static_cast<unsigned>(PARENB | PARODD));
  EXPECT_EQ(ParityFlags(Parity::kEven), static_cast<unsigned>(PARENB));
  EXPECT_EQ(ParityFlags(Parity::kMark), static_cast<unsigned>(PARENB | CMSPAR | PARODD));
  EXPECT_EQ(ParityFlags(Parity::kSpace), static_cast<unsigned>(PARENB | CMSPAR));
}

TEST(TermiosPortTest, ExclusiveOpenAndBoundedReads) {
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  const int master = pty.master();
  const char* name = pty.slave_path();
  TermiosPort first;
  ASSERT_TRUE(first.Open(name)) << first.error();
  TermiosPort second;
  EXPECT_FALSE(second.Open(name)) << "the port is held exclusively";

  // Nothing arrives: a read of n bytes gives up after 10 ms per byte.
  std::uint8_t buffer[8];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(first.Read(buffer, 5), 0);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(45));
  EXPECT_LT(took, std::chrono::milliseconds(1000));

  const std::uint8_t sent[] = {1, 2, 3};
  ASSERT_EQ(::write(master, sent, 3), 3);
  EXPECT_EQ(first.Read(buffer, 8), 3) << "what came within the time-out";
  EXPECT_EQ(first.Write(sent, 3), 3);
  std::uint8_t echoed[3] = {};
  EXPECT_EQ(::read(master, echoed, 3), 3);
  EXPECT_EQ(echoed[2], 3);
  LineSettings line;
  line.baud = 14400;  // not a standard termios speed
  line.parity = Parity::kEven;
  EXPECT_TRUE(first.SetLine(line));
  first.Close();
  EXPECT_TRUE(second.Open(name)) << "free again once closed";
  second.Close();
}

TEST(TermiosPortTest, SilentPortIsNotLostAndAClosedOneIs) {
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  TermiosPort port;
  ASSERT_TRUE(port.Open(pty.slave_path())) << port.error();
  EXPECT_EQ(port.Name(), pty.slave_path());
  std::uint8_t buffer[4];
  // Present but silent: the read waits out its time-out and the port stays.
  EXPECT_EQ(port.Read(buffer, 4), 0);
  EXPECT_FALSE(port.Lost());
  pty.CloseMaster();
  // The loss shows at once and for good.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 100; ++i) EXPECT_EQ(port.Read(buffer, 4), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500))
      << "a lost port answers at once";
  EXPECT_TRUE(port.Lost());
  const std::uint8_t sync = 0x7F;
  EXPECT_EQ(port.Write(&sync, 1), 0);
  EXPECT_TRUE(port.Lost());
}

TEST(TermiosPortTest, WriteToAClosedPeerMarksThePortLost) {
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  TermiosPort port;
  ASSERT_TRUE(port.Open(pty.slave_path())) << port.error();
  pty.CloseMaster();
  const std::uint8_t sync = 0x7F;
  EXPECT_EQ(port.Write(&sync, 1), 0);
  EXPECT_TRUE(port.Lost());
  // Opening a device again starts with a port that is there.
  test::PseudoTerminal other;
  ASSERT_TRUE(port.Open(other.slave_path())) << port.error();
  EXPECT_FALSE(port.Lost());
  EXPECT_EQ(port.Write(&sync, 1), 1);
}

}  // namespace
}  // namespace fw
