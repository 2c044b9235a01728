// fw-flash on a terminal: questions answered on it (or fixed by --yes / --no),
// message boxes written to it, the bell for the system sounds, and Ctrl-C as
// the stop button.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

#include "app/run/app_dialogs.h"
#include "isp/link/link_outputs.h"

namespace fw {

// How questions are answered: asked on the terminal, or fixed.
enum class FixedAnswer { kAsk, kYes, kNo };

class TerminalDialogs final : public AppDialogs {
 public:
  // stop_requested: a question asked while a stop is requested, or when one
  // comes while it waits for the answer, is answered No.
  TerminalDialogs(FixedAnswer answer, std::function<bool()> stop_requested = {});

  // The question on standard output with " [y/N] "; a fixed answer is written
  // after it. Without a terminal a line is read from standard input; at its
  // end the answer is No.
  bool AskYesNo(std::string_view text, std::string_view caption) override;
  // "caption: text" on standard error.
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;

 private:
  bool StopRequested() const { return stop_requested_ && stop_requested_(); }
  FixedAnswer answer_;
  std::function<bool()> stop_requested_;
};

// The link's questions (the download board's) through the dialogs.
class DialogsQuestion final : public YesNoQuestion {
 public:
  explicit DialogsQuestion(AppDialogs& dialogs) : dialogs_(dialogs) {}
  bool Ask(std::string_view text) override { return dialogs_.AskYesNo(text, {}); }

 private:
  AppDialogs& dialogs_;
};

// The system sounds as the terminal bell; nothing when the output is no terminal.
class TerminalBell final : public SoundSink {
 public:
  void Beep(BeepKind kind) override;
};

// Ctrl-C (SIGINT), termination requests (SIGTERM) and the hang-up of the
// terminal or the session (SIGHUP) set `stop` while it lives, as the stop
// button does: the run ends with its result line and gives the port back.
class StopOnSignals {
 public:
  explicit StopOnSignals(std::atomic<bool>& stop);
  ~StopOnSignals();
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

 private:
  sigset_t signals_{};
  std::atomic<bool> finished_{false};
  std::thread watcher_;
};

}  // namespace fw
