// Ends a command's run from outside: clears the link's running flag when a stop
// is requested (Ctrl-C) or the command's time-out passes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace fw {

class IspLink;

class RunWatch {
 public:
  // A timeout of 0 seconds or less never passes.
  RunWatch(IspLink& link, const std::atomic<bool>& stop_requested, double timeout_seconds);
  ~RunWatch();
  RunWatch(const RunWatch&) = delete;
  RunWatch& operator=(const RunWatch&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_signal_;
  bool done_ = false;
  std::thread watcher_;
};

}  // namespace fw
