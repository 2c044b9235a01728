// A rate outside the termios constants applies to both directions. Only kernel
// headers here: <asm/termbits.h> cannot stand beside <termios.h>.
#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "isp/link/custom_baud.h"
#include "tests/support/pseudo_terminal.h"

namespace fw {
namespace {

TEST(CustomBaudTest, SetsTheInputRateAsWellAsTheOutputRate) {
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  const int fd = ::open(pty.slave_path(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);

  // The input rate was set on its own before, as a standard rate.
  struct termios2 before {};
  ASSERT_EQ(ioctl(fd, TCGETS2, &before), 0);
  before.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  before.c_cflag |= B9600 | (B2400 << IBSHIFT);
  ASSERT_EQ(ioctl(fd, TCSETS2, &before), 0);

  ASSERT_TRUE(SetCustomBaud(fd, 250000));
  struct termios2 after {};
  ASSERT_EQ(ioctl(fd, TCGETS2, &after), 0);
  EXPECT_EQ(after.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER)) << "output";
  EXPECT_EQ((after.c_cflag >> IBSHIFT) & CBAUD, static_cast<tcflag_t>(BOTHER)) << "input";
  EXPECT_EQ(after.c_ospeed, 250000u);
  EXPECT_EQ(after.c_ispeed, 250000u);

  EXPECT_FALSE(SetCustomBaud(-1, 250000)) << "no device";
  ::close(fd);
}

}  // namespace
}  // namespace fw
