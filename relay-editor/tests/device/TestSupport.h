// Helpers for the serial tests: a raw pseudo-terminal pair and bounded waits on the call
// queue.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/CallQueue.h"

namespace relay::testing {

using namespace std::chrono_literals;

// Drains the queue until `done` holds or `limit` has passed; returns `done()`.
inline bool DrainUntil(device::TCallQueue& queue, const std::function<bool()>& done,
                       std::chrono::milliseconds limit = 5000ms) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left <= 0ms) return done();
    queue.WaitAndDrain(std::min<std::chrono::milliseconds>(left, 50ms));
  }
  return true;
}

// Drains the queue for a while, whatever happens.
inline void DrainFor(device::TCallQueue& queue, std::chrono::milliseconds span) {
  DrainUntil(
      queue, [] { return false; }, span);
}

// A pseudo-terminal whose master side the test holds; the program under test opens
// SlavePath() as its port.
class TPtyPair {
 public:
  TPtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
      throw std::runtime_error("pseudo-terminal");
    char name[128];
    ptsname_r(master_, name, sizeof name);
    path_ = name;
    // Held open so the terminal keeps its settings between the program's opens.
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
  }
  ~TPtyPair() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const std::string& SlavePath() const { return path_; }
  int Master() const { return master_; }
  int Slave() const { return slave_; }
  void CloseMaster() {
    close(master_);
    master_ = -1;
  }

  void Write(const std::vector<std::uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) throw std::runtime_error("write to pseudo-terminal");
      done += static_cast<std::size_t>(n);
    }
  }

  // Reads until `count` bytes have come or `limit` has passed.
  std::vector<std::uint8_t> Read(std::size_t count,
                                 std::chrono::milliseconds limit = 3000ms) const {
    std::vector<std::uint8_t> bytes;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left <= 0ms) break;
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      std::uint8_t buffer[4096];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

}  // namespace relay::testing
