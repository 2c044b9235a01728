#include "device/CallQueue.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace relay::device {

namespace {

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void AddToEpoll(int epollFd, int fd) {
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  if (epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev) != 0) ThrowErrno("epoll_ctl");
}

}  // namespace

TCallQueue::TCallQueue() {
  try {
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) ThrowErrno("epoll_create1");
    eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (eventFd_ < 0) ThrowErrno("eventfd");
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (timerFd_ < 0) ThrowErrno("timerfd_create");
    AddToEpoll(epollFd_, eventFd_);
    AddToEpoll(epollFd_, timerFd_);
  } catch (...) {
    for (int fd : {timerFd_, eventFd_, epollFd_})
      if (fd >= 0) close(fd);
    throw;
  }
}

TCallQueue::~TCallQueue() {
  close(timerFd_);
  close(eventFd_);
  close(epollFd_);
}

void TCallQueue::Post(TCall call) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  const std::uint64_t one = 1;
  // A full counter (never in practice) still leaves the descriptor readable.
  [[maybe_unused]] auto n = write(eventFd_, &one, sizeof one);
}

TCallQueue::TTimerId TCallQueue::PostDelayed(std::chrono::milliseconds delay, TCall call) {
  std::lock_guard lock(mutex_);
  const TTimerId id = nextTimerId_++;
  timers_.emplace(TClock::now() + delay, std::make_pair(id, std::move(call)));
  ArmTimerLocked();
  return id;
}

void TCallQueue::CancelTimer(TTimerId id) {
  std::lock_guard lock(mutex_);
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.first == id) {
      timers_.erase(it);
      break;
    }
  }
  ArmTimerLocked();
}

void TCallQueue::ArmTimerLocked() {
  itimerspec due{};
  if (!timers_.empty()) {
    auto wait = timers_.begin()->first - TClock::now();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    if (ns < 1) ns = 1;  // 0 would disarm the timer
    due.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    due.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
  }
  timerfd_settime(timerFd_, 0, &due, nullptr);
}

std::size_t TCallQueue::Drain() {
  std::uint64_t count = 0;
  [[maybe_unused]] auto r1 = read(eventFd_, &count, sizeof count);
  [[maybe_unused]] auto r2 = read(timerFd_, &count, sizeof count);

  std::size_t ran = 0;
  std::size_t budget;
  {
    std::lock_guard lock(mutex_);
    budget = calls_.size();
  }
  // Only the calls present on entry: a call that posts again runs in the next drain.
  for (; budget > 0; --budget) {
    TCall call;
    {
      std::lock_guard lock(mutex_);
      if (calls_.empty()) break;
      call = std::move(calls_.front());
      calls_.pop_front();
    }
    call();
    ++ran;
  }

  const auto now = TClock::now();
  for (;;) {
    TCall call;
    {
      std::lock_guard lock(mutex_);
      if (timers_.empty() || timers_.begin()->first > now) {
        ArmTimerLocked();
        break;
      }
      call = std::move(timers_.begin()->second.second);
      timers_.erase(timers_.begin());
    }
    call();
    ++ran;
  }

  bool more;
  {
    std::lock_guard lock(mutex_);
    more = !calls_.empty();
  }
  if (more) {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(eventFd_, &one, sizeof one);
  }
  return ran;
}

std::size_t TCallQueue::WaitAndDrain(std::chrono::milliseconds maxWait) {
  pollfd p{epollFd_, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, static_cast<int>(maxWait.count()));
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return 0;
  return Drain();
}

}  // namespace relay::device
