// The one way other threads reach the window: work handed to the thread of a
// context object through its event queue. Nothing runs once the context is
// gone; a caller that waits for an answer can give up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace fw {

// Runs work on the context's thread later; returns at once.
template <class Work>
void PostToGui(QObject* context, Work work) {
  QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

// Runs work on the context's thread and waits for its result; at once when
// called on that thread. Empty when give_up() turned true while waiting (then
// the work may still run later, and its result is dropped) or when the context
// was destroyed before the work ran.
template <class Result>
std::optional<Result> CallOnGui(QObject* context, std::function<Result()> work,
                                const std::function<bool()>& give_up) {
  if (QThread::currentThread() == context->thread()) return work();

  struct Exchange {
    std::mutex mutex;
    std::condition_variable done_changed;
    std::optional<Result> result;
    bool done = false;
  };
  // Marks the exchange done when the posted work is destroyed, whether it ran
  // or was dropped with its context.
  struct Ticket {
    std::shared_ptr<Exchange> exchange;
    ~Ticket() {
      std::lock_guard lock(exchange->mutex);
      exchange->done = true;
      exchange->done_changed.notify_all();
    }
  };
  auto exchange = std::make_shared<Exchange>();
  auto ticket = std::make_shared<Ticket>();
  ticket->exchange = exchange;
  PostToGui(context, [ticket = std::move(ticket), work = std::move(work)]() mutable {
    Result result = work();
    std::lock_guard lock(ticket->exchange->mutex);
    ticket->exchange->result = std::move(result);
  });

  constexpr auto kGiveUpPoll = std::chrono::milliseconds(20);
  std::unique_lock lock(exchange->mutex);
  while (!exchange->done) {
    if (give_up && give_up()) return std::nullopt;
    exchange->done_changed.wait_for(lock, kGiveUpPoll);
  }
  return std::move(exchange->result);
}

}  // namespace fw
