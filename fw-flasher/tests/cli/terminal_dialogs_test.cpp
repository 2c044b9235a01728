// Questions on the terminal: fixed by --yes and --no, read from standard input
// without a terminal, and answered No once a stop is requested, also while the
// question waits for its answer.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/terminal_io.h"

namespace fw {
namespace {

using namespace std::chrono_literals;

// Standard input from a pipe for as long as it lives; the test writes the answers.
class PipedInput {
 public:
  PipedInput() {
    EXPECT_EQ(::pipe(fds_), 0);
    saved_ = ::dup(STDIN_FILENO);
    ::dup2(fds_[0], STDIN_FILENO);
  }
  ~PipedInput() {
    ::dup2(saved_, STDIN_FILENO);
    ::close(saved_);
    ::close(fds_[0]);
    if (fds_[1] >= 0) ::close(fds_[1]);
  }
  void Type(const std::string& text) {
    EXPECT_EQ(::write(fds_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void End() {
    ::close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2] = {-1, -1};
  int saved_ = -1;
};

TEST(TerminalDialogsTest, FixedAnswersNeedNoInput) {
  TerminalDialogs yes(FixedAnswer::kYes);
  TerminalDialogs no(FixedAnswer::kNo);
  EXPECT_TRUE(yes.AskYesNo("Update the board?", "App"));
  EXPECT_FALSE(no.AskYesNo("Update the board?", "App"));
}

TEST(TerminalDialogsTest, AnswersAreReadLineByLine) {
  PipedInput input;
  TerminalDialogs ask(FixedAnswer::kAsk);
  input.Type("y\nno\nYes\n\n");
  EXPECT_TRUE(ask.AskYesNo("first?", ""));
  EXPECT_FALSE(ask.AskYesNo("second?", ""));
  EXPECT_TRUE(ask.AskYesNo("third?", ""));
  EXPECT_FALSE(ask.AskYesNo("an empty line?", ""));
  input.End();
  EXPECT_FALSE(ask.AskYesNo("at the end of the input?", ""));
}

TEST(TerminalDialogsTest, AStopAnswersNo) {
  std::atomic<bool> stop{true};
  TerminalDialogs fixed_yes(FixedAnswer::kYes, [&] { return stop.load(); });
  EXPECT_FALSE(fixed_yes.AskYesNo("asked after the stop?", ""));

  PipedInput input;  // nobody answers
  stop = false;
  TerminalDialogs ask(FixedAnswer::kAsk, [&] { return stop.load(); });
  std::thread stopper([&] {
    std::this_thread::sleep_for(200ms);
    stop = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ask.AskYesNo("waiting?", ""));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  stopper.join();
}

}  // namespace
}  // namespace fw
