#include "cli/terminal_io.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

namespace fw {
namespace {

// How often a question that waits for its answer looks for a stop.
constexpr int kAnswerPollMs = 100;

// One line of standard input; empty optional at its end or when a stop came first.
std::optional<std::string> ReadAnswer(const std::function<bool()>& stopped) {
  std::string line;
  for (;;) {
    if (stopped()) return std::nullopt;
    pollfd pfd{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, kAnswerPollMs);
    if (ready < 0) return std::nullopt;
    if (ready == 0) continue;
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') return line;
    line += c;
  }
}

}  // namespace

TerminalDialogs::TerminalDialogs(FixedAnswer answer, std::function<bool()> stop_requested)
    : answer_(answer), stop_requested_(std::move(stop_requested)) {}

bool TerminalDialogs::AskYesNo(std::string_view text, std::string_view caption) {
  if (StopRequested()) return false;
  std::cout << "\n";
  if (!caption.empty()) std::cout << caption << ": ";
  std::cout << text << " [y/N] " << std::flush;
  if (answer_ != FixedAnswer::kAsk) {
    std::cout << (answer_ == FixedAnswer::kYes ? "y" : "n") << std::endl;
    return answer_ == FixedAnswer::kYes;
  }
  const auto answer = ReadAnswer([this] { return StopRequested(); });
  if (!answer) {
    std::cout << std::endl;
    return false;
  }
  return !answer->empty() && ((*answer)[0] == 'y' || (*answer)[0] == 'Y');
}

void TerminalDialogs::ShowMessage(std::string_view text, std::string_view caption, MessageIcon) {
  std::cerr << caption << ": " << text << std::endl;
}

void TerminalBell::Beep(BeepKind) {
  if (isatty(STDOUT_FILENO) == 0) return;
  std::fputc('\a', stdout);
  std::fflush(stdout);
}

StopOnSignals::StopOnSignals(std::atomic<bool>& stop) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  sigaddset(&signals_, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  watcher_ = std::thread([this, &stop] {
    const timespec poll_interval{0, 50'000'000};
    while (!finished_.load()) {
      if (sigtimedwait(&signals_, nullptr, &poll_interval) > 0) stop = true;
    }
  });
}

StopOnSignals::~StopOnSignals() {
  finished_ = true;
  watcher_.join();
}

}  // namespace fw
