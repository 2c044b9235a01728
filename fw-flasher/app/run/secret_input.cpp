#include "app/run/secret_input.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iostream>

namespace fw {
namespace {

void DropLineEnd(std::string& line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
}

std::optional<std::string> ReadLine(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  DropLineEnd(line);
  return line;
}

// The terminal's settings while echo is off, for the interrupt handler.
termios g_saved_terminal{};

// Ctrl-C at a hidden prompt must not leave the terminal without echo.
extern "C" void RestoreEchoAndStop(int signal_number) {
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_terminal);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// Echo off on the terminal for as long as it lives.
class EchoOff {
 public:
  EchoOff() : ok_(tcgetattr(STDIN_FILENO, &g_saved_terminal) == 0) {
    if (!ok_) return;
    previous_interrupt_ = std::signal(SIGINT, RestoreEchoAndStop);
    previous_terminate_ = std::signal(SIGTERM, RestoreEchoAndStop);
    termios quiet = g_saved_terminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  ~EchoOff() {
    if (!ok_) return;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_terminal);
    std::signal(SIGINT, previous_interrupt_);
    std::signal(SIGTERM, previous_terminate_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  bool ok_;
  void (*previous_interrupt_)(int) = SIG_DFL;
  void (*previous_terminate_)(int) = SIG_DFL;
};

std::optional<std::string> AskHidden(const std::string& prompt) {
  EchoOff quiet;
  std::cerr << prompt << std::flush;
  auto answer = ReadLine(std::cin);
  std::cerr << '\n';
  return answer;
}

}  // namespace

std::optional<std::string> TerminalSecretInput::Ask(const std::string& prompt) {
  if (!isatty(STDIN_FILENO)) {
    std::cerr << prompt << '\n';
    return ReadLine(std::cin);
  }
  for (;;) {
    const auto first = AskHidden(prompt);
    if (!first || !confirm_) return first;
    const auto again = AskHidden("Again, to confirm: ");
    if (!again) return std::nullopt;
    if (*first == *again) return first;
    std::cerr << "The two entries differ; once more.\n";
  }
}

std::optional<std::string> ReadSecretFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  if (in.bad()) return std::nullopt;
  DropLineEnd(line);
  return line;
}

}  // namespace fw
