#include "cli/run_watch.h"

#include <chrono>

#include "isp/link/isp_link.h"

namespace fw {

RunWatch::RunWatch(IspLink& link, const std::atomic<bool>& stop_requested, double timeout_seconds) {
  watcher_ = std::thread([this, &link, &stop_requested, timeout_seconds] {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    while (!done_) {
      const bool expired =
          timeout_seconds > 0 && std::chrono::steady_clock::now() - start >=
                                     std::chrono::duration<double>(timeout_seconds);
      // Held cleared until the run ends, so that a step that sets it again at
      // its start does not undo the stop.
      if (stop_requested.load() || expired) link.running = false;
      done_signal_.wait_for(lock, std::chrono::milliseconds(20));
    }
  });
}

RunWatch::~RunWatch() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  done_signal_.notify_all();
  watcher_.join();
}

}  // namespace fw
