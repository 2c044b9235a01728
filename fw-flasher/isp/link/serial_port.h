// The serial port as the boot-loader link sees it: line settings, time-outs,
// purge, and synchronous reads and writes.
#pragma once

#include <cstdint>
#include <string>

namespace fw {

// The values of the port control block: mark and space parity send the parity
// bit always 1 or always 0.
enum class Parity { kNone = 0, kOdd = 1, kEven = 2, kMark = 3, kSpace = 4 };

struct LineSettings {
  int baud = 2400;
  int data_bits = 8;
  Parity parity = Parity::kNone;
  int stop_bits = 1;
  bool binary = true;
};

struct PortTimeouts {
  int read_interval_ms = 0;
  int read_total_multiplier_ms = 10;  // per requested byte
  int read_total_constant_ms = 0;
  int write_total_multiplier_ms = 0;
  int write_total_constant_ms = 5000;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual bool SetQueueSizes(int input_bytes, int output_bytes) = 0;
  virtual bool GetLine(LineSettings& line) = 0;
  virtual bool SetLine(const LineSettings& line) = 0;
  virtual bool SetTimeouts(const PortTimeouts& timeouts) = 0;
  // Drops whatever is queued in both directions.
  virtual bool Purge() = 0;
  // Waits at most the read time-out for n bytes; returns how many came (0 or more).
  virtual int Read(std::uint8_t* buffer, int n) = 0;
  // Writes n bytes within the write time-out; returns how many went out.
  virtual int Write(const std::uint8_t* buffer, int n) = 0;
  // True once the device has gone away (unplugged, or the other side of a
  // pseudo-terminal closed): no read or write can succeed any more. A port that
  // is there but silent is not lost.
  virtual bool Lost() const = 0;
  // The device as messages name it.
  virtual std::string Name() const = 0;
};

}  // namespace fw
