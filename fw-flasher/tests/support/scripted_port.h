// An in-memory serial port for unit tests: incoming bytes arrive in the chunks
// the test queues (one chunk per read at most), writes are recorded.
#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "isp/link/serial_port.h"

namespace fw::test {

class ScriptedPort : public SerialPort {
 public:
  void Arrive(std::vector<std::uint8_t> chunk) { chunks_.push_back(std::move(chunk)); }

  bool SetQueueSizes(int, int) override { return true; }
  bool GetLine(LineSettings& line) override {
    line = line_;
    return true;
  }
  bool SetLine(const LineSettings& line) override {
    line_ = line;
    lines_set.push_back(line);
    return true;
  }
  bool SetTimeouts(const PortTimeouts& t) override {
    timeouts = t;
    return true;
  }
  bool Purge() override {
    ++purges;
    return true;
  }
  int Read(std::uint8_t* buffer, int n) override {
    ++reads;
    if (chunks_.empty()) return 0;
    auto& chunk = chunks_.front();
    const int take = std::min<int>(n, static_cast<int>(chunk.size()));
    std::copy_n(chunk.begin(), take, buffer);
    chunk.erase(chunk.begin(), chunk.begin() + take);
    if (chunk.empty()) chunks_.pop_front();
    return take;
  }
  int Write(const std::uint8_t* buffer, int n) override {
    writes.emplace_back(buffer, buffer + n);
    return n;
  }
  bool Lost() const override { return lost; }
  std::string Name() const override { return "scripted"; }

  std::vector<std::vector<std::uint8_t>> writes;
  std::vector<LineSettings> lines_set;
  PortTimeouts timeouts{};
  int purges = 0;
  int reads = 0;
  bool lost = false;  // the device went away

 private:
  LineSettings line_{};
  std::deque<std::vector<std::uint8_t>> chunks_;
};

}  // namespace fw::test
