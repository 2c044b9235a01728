// Hands work from any thread to the thread that owns the queue (the GUI thread in
// relay-editor, the main loop in relay-cli). Calls run in the order they were posted;
// delayed calls run when their time has come. The owner waits on Fd() (poll, a
// QSocketNotifier, ...) and calls Drain() whenever it is readable.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace relay::device {

class TCallQueue {
 public:
  using TCall = std::function<void()>;
  using TTimerId = std::uint64_t;

  TCallQueue();  // throws std::system_error when the descriptors cannot be made
  ~TCallQueue();
  TCallQueue(const TCallQueue&) = delete;
  TCallQueue& operator=(const TCallQueue&) = delete;

  // Any thread. Queues a call for the owner thread.
  void Post(TCall call);

  // Any thread. Runs the call on the owner thread once `delay` has passed, unless it is
  // cancelled first. Returns an id for CancelTimer (never 0).
  TTimerId PostDelayed(std::chrono::milliseconds delay, TCall call);
  void CancelTimer(TTimerId id);

  // Readable (POLLIN) while posted calls or due timers are waiting.
  int Fd() const { return epollFd_; }

  // Owner thread. Runs the calls waiting now, oldest first, then the due timers.
  // Calls may post further calls and may drain the queue again from inside (a modal
  // dialog's event loop); order is kept because calls are taken one at a time.
  // Returns the number of calls run.
  std::size_t Drain();

  // Owner thread. Waits at most `maxWait` for work, then drains. Returns the number of
  // calls run (0 on a time-out).
  std::size_t WaitAndDrain(std::chrono::milliseconds maxWait);

 private:
  using TClock = std::chrono::steady_clock;
  void ArmTimerLocked();

  int epollFd_ = -1;
  int eventFd_ = -1;
  int timerFd_ = -1;
  std::mutex mutex_;
  std::deque<TCall> calls_;
  std::multimap<TClock::time_point, std::pair<TTimerId, TCall>> timers_;
  TTimerId nextTimerId_ = 1;
};

}  // namespace relay::device
