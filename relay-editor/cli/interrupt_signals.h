#pragma once
// SIGINT, SIGTERM and SIGHUP while relay-cli holds a serial port: they are held
// back and read from a descriptor, so the command can close the port (which
// gives up its exclusive use) before the program ends.

#include <signal.h>

#include <stdexcept>

namespace relay::cli {

// Thrown when one of the signals arrived; main reports it and ends the
// program by the same signal.
class Interrupted : public std::runtime_error {
 public:
  explicit Interrupted(int signal);
  int Signal() const { return signal_; }

 private:
  int signal_;
};

class InterruptSignals {
 public:
  // Blocks the signals for this thread and the threads it starts from now on.
  InterruptSignals();
  // Restores the signal mask; a signal not yet read then takes its usual effect.
  ~InterruptSignals();
  InterruptSignals(const InterruptSignals&) = delete;
  InterruptSignals& operator=(const InterruptSignals&) = delete;

  // Readable once a signal is waiting.
  int Fd() const { return fd_; }
  // Throws Interrupted when a signal is waiting.
  void ThrowIfCaught();

 private:
  sigset_t previous_{};
  int fd_ = -1;
};

// Ends the program by `signal` with its usual effect, after the port was let go.
[[noreturn]] void EndBySignal(int signal);

}  // namespace relay::cli
