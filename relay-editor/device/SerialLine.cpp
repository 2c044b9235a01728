#include "device/SerialLine.h"

#include <sys/ioctl.h>
#include <termios.h>

namespace relay::device {

namespace {

bool StandardSpeed(std::uint32_t baud, speed_t& speed) {
  struct Rate {
    std::uint32_t baud;
    speed_t speed;
  };
  static constexpr Rate rates[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000},
  };
  for (const Rate& r : rates) {
    if (r.baud == baud) {
      speed = r.speed;
      return true;
    }
  }
  return false;
}

void SetModemLine(int fd, int line, bool on) {
  // Pseudo-terminals have no modem lines; the request then fails and is of no concern.
  ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

}  // namespace

bool ApplyLineSettings(int fd, const TCommLineSettings& s) {
  if (s.BaudRate == 0) return false;
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);

  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD;
  switch (s.ByteSize) {
    case TByteSize::_5:
      t.c_cflag |= CS5;
      break;
    case TByteSize::_6:
      t.c_cflag |= CS6;
      break;
    case TByteSize::_7:
      t.c_cflag |= CS7;
      break;
    case TByteSize::_8:
      t.c_cflag |= CS8;
      break;
  }
  switch (s.Parity) {
    case TParity::None:
      break;
    case TParity::Odd:
      t.c_cflag |= PARENB | PARODD;
      break;
    case TParity::Even:
      t.c_cflag |= PARENB;
      break;
    case TParity::Mark:
      t.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case TParity::Space:
      t.c_cflag |= PARENB | CMSPAR;
      break;
  }
  // 1.5 stop bits: the UART uses them for 5 data bits when two are asked for.
  if (s.StopBits != TStopBits::_1) t.c_cflag |= CSTOPB;
  if (s.Outx_CtsFlow || s.RtsControl == TRtsControl::RtsHandshake) t.c_cflag |= CRTSCTS;

  t.c_iflag &= ~(INPCK | IGNPAR | PARMRK | ISTRIP | IXON | IXOFF | IXANY | IGNBRK | BRKINT);
  // Bytes with a parity or framing error come marked (FF 00 x); the reading thread
  // reports them and delivers x or the replacement byte.
  if (s.ParityCheck) t.c_iflag |= INPCK | PARMRK;
  if (s.Outx_XonXoffFlow) t.c_iflag |= IXON;
  if (s.Inx_XonXoffFlow) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(s.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(s.XoffChar);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;

  speed_t speed;
  const bool standard = StandardSpeed(s.BaudRate, speed);
  if (standard) {
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
  }
  if (tcsetattr(fd, TCSANOW, &t) != 0) {
    // A pseudo-terminal always runs 8 data bits without parity and the C library
    // reports that as a refusal; what counts is that speed and binary mode are set.
    termios now{};
    if (tcgetattr(fd, &now) != 0) return false;
    if (standard && (cfgetospeed(&now) != speed || cfgetispeed(&now) != speed)) return false;
    if (now.c_lflag & (ICANON | ECHO | ISIG)) return false;
  }
  if (!standard && !SetCustomBaudRate(fd, s.BaudRate)) return false;

  SetModemLine(fd, TIOCM_DTR, s.DtrControl != TDtrControl::DtrDisable);
  if (s.RtsControl != TRtsControl::RtsHandshake)
    SetModemLine(fd, TIOCM_RTS, s.RtsControl != TRtsControl::RtsDisable);
  return true;
}

}  // namespace relay::device
