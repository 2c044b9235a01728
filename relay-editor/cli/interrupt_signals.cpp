#include "interrupt_signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace relay::cli {
namespace {

sigset_t HeldSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

Interrupted::Interrupted(int signal)
    : std::runtime_error(std::string("已中断（SIG") + sigabbrev_np(signal) + "），串口已释放"),
      signal_(signal) {}

InterruptSignals::InterruptSignals() {
  const sigset_t held = HeldSignals();
  pthread_sigmask(SIG_BLOCK, &held, &previous_);
  fd_ = signalfd(-1, &held, SFD_CLOEXEC | SFD_NONBLOCK);
}

InterruptSignals::~InterruptSignals() {
  if (fd_ >= 0) close(fd_);
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptSignals::ThrowIfCaught() {
  signalfd_siginfo info{};
  if (fd_ >= 0 && read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
    throw Interrupted(static_cast<int>(info.ssi_signo));
}

void EndBySignal(int signal) {
  ::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  std::_Exit(128 + signal);  // only if the signal was ignored before relay-cli started
}

}  // namespace relay::cli
