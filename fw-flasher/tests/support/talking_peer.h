// The other side of a line that never falls silent, as a user firmware that
// keeps printing or a noisy cable shows it: from its start it sends 0x00 and
// 0x7F in turn at about the pace of a 115,200-baud line, and reads whatever the
// host sends, until it is destroyed or its time is up.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace fw::test {

class TalkingPeer {
 public:
  // master: the pseudo-terminal's master side, which stays the caller's.
  TalkingPeer(int master, std::chrono::milliseconds for_at_most)
      : thread_([this, master, for_at_most](std::stop_token stop) {
          Talk(master, for_at_most, stop);
        }) {}
  ~TalkingPeer() {
    thread_.request_stop();
    thread_.join();
  }
  TalkingPeer(const TalkingPeer&) = delete;
  TalkingPeer& operator=(const TalkingPeer&) = delete;

  long long BytesSent() const { return sent_.load(); }
  long long BytesFromHost() const { return from_host_.load(); }

 private:
  // 24 bytes every 2 ms: 12,000 bytes a second, as a fast line carries them.
  static constexpr int kChunk = 24;
  static constexpr auto kPace = std::chrono::milliseconds(2);

  void Talk(int master, std::chrono::milliseconds for_at_most, const std::stop_token& stop) {
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    std::uint8_t chunk[kChunk];
    for (int i = 0; i < kChunk; ++i) chunk[i] = i % 2 == 0 ? 0x00 : 0x7F;
    const auto end = std::chrono::steady_clock::now() + for_at_most;
    while (!stop.stop_requested() && std::chrono::steady_clock::now() < end) {
      const ssize_t w = ::write(master, chunk, sizeof chunk);
      if (w > 0) sent_ += w;
      std::uint8_t in[256];
      for (ssize_t r; (r = ::read(master, in, sizeof in)) > 0;) from_host_ += r;
      std::this_thread::sleep_for(kPace);
    }
  }

  std::atomic<long long> sent_{0};
  std::atomic<long long> from_host_{0};
  std::jthread thread_;
};

}  // namespace fw::test
