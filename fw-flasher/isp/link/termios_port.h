// SerialPort over a termios device (a serial device or a pseudo-terminal).
#pragma once

#include <string>

#include "isp/link/serial_port.h"

namespace fw {

class TermiosPort final : public SerialPort {
 public:
  TermiosPort() = default;
  ~TermiosPort() override;
  TermiosPort(const TermiosPort&) = delete;
  TermiosPort& operator=(const TermiosPort&) = delete;

  // Opens the device for exclusive use in raw mode. On failure returns false and
  // error() says why.
  bool Open(const std::string& path);
  void Close();
  bool is_open() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }

  bool SetQueueSizes(int input_bytes, int output_bytes) override;
  bool GetLine(LineSettings& line) override;
  bool SetLine(const LineSettings& line) override;
  bool SetTimeouts(const PortTimeouts& timeouts) override;
  bool Purge() override;
  int Read(std::uint8_t* buffer, int n) override;
  int Write(const std::uint8_t* buffer, int n) override;
  bool Lost() const override { return lost_; }
  std::string Name() const override { return path_; }

 private:
  // Marks the port lost when an error says the device has gone.
  void NoteGone(int error_number);

  int fd_ = -1;
  std::string path_;
  bool is_pty_ = false;
  bool lost_ = false;
  LineSettings line_{};
  PortTimeouts timeouts_{};
  std::string error_;
};

// The parity bits of a termios c_cflag for the parity: mark and space set
// CMSPAR with PARODD set (mark) or cleared (space).
unsigned ParityFlags(Parity parity);

// Port names as users give them: a name without "/" is a device under /dev, and
// "COMn" is /dev/ttyS(n-1).
std::string ResolvePortName(const std::string& name);

}  // namespace fw
