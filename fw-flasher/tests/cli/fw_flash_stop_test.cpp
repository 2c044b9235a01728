// fw-flash as a process, stopped from outside: by Ctrl-C and the other signals
// that end a terminal's programs, and by its own --timeout, also while the line
// never falls silent.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "isp/link/termios_port.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/talking_peer.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace fw {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Ended {
  bool exited = false;  // on its own, not killed by a signal
  int status = -1;
  int signal = 0;
  Clock::time_point at;
  double cpu_seconds = 0;
};

// A program started with its output in a file and no input.
class Process {
 public:
  Process(const std::vector<std::string>& args, const std::filesystem::path& output,
          const std::vector<std::string>& extra_environment = {}) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env_text(extra_environment);
    for (char** e = environ; *e != nullptr; ++e) env_text.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    // Whatever the test runner was started with, the program starts with the
    // signals' usual effects and none held back.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (posix_spawn(&pid_, argv[0], &files, &attributes, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    started_ = Clock::now();
  }
  ~Process() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return pid_ > 0; }
  Clock::time_point started_at() const { return started_; }
  void Signal(int signal) { ::kill(pid_, signal); }

  // Waits at most `limit` for the program to end; one still running then is
  // killed and reported as not exited.
  Ended Wait(Clock::duration limit) {
    Ended e;
    const auto deadline = Clock::now() + limit;
    int status = 0;
    rusage usage{};
    pid_t got = 0;
    while ((got = ::wait4(pid_, &status, WNOHANG, &usage)) == 0 && Clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    e.at = Clock::now();
    if (got == 0) {
      ::kill(pid_, SIGKILL);
      ::wait4(pid_, &status, 0, &usage);
      ended_ = true;
      return e;
    }
    ended_ = true;
    e.exited = WIFEXITED(status);
    e.status = e.exited ? WEXITSTATUS(status) : -1;
    e.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    e.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return e;
  }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  Clock::time_point started_;
};

class FwFlashStopTest : public test::TempFolderTest {
 protected:
  std::filesystem::path Output() const { return dir_ / "out.txt"; }
  std::string OutputText() const { return Read(Output()); }
  // Waits (at most 20 s) until the program's output holds the text.
  bool AwaitOutput(const std::string& text) const {
    for (int i = 0; i < 2000; ++i) {
      if (OutputText().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  static std::string LastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    const std::size_t at = t.rfind('\n');
    return at == std::string::npos ? t : t.substr(at + 1);
  }
  // The port is free again: another program gets it for exclusive use.
  static bool PortIsFree(const char* path) {
    TermiosPort port;
    return port.Open(path);
  }
};

TEST_F(FwFlashStopTest, DetectOnALineThatNeverFallsSilent) {
  struct Case {
    const char* name;
    std::vector<std::string> extra;       // detect's options beyond the port
    std::optional<Clock::duration> stop;  // SIGINT this long after the start
    Clock::duration bound;                // from the start (time-out) or the signal
  } const cases[] = {
      {"--timeout 1", {"--timeout", "1"}, std::nullopt, 1s + 1s},
      {"Ctrl-C", {}, 1s, 500ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    // Longer than every bound: a run that only a silent line ends lasts until
    // the peer stops talking.
    const test::TalkingPeer peer(pty.master(), 8s);
    std::vector<std::string> args = {FW_FLASH_PATH, "detect", "--port", pty.slave_path()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    Process flash(args, Output());
    ASSERT_TRUE(flash.started());
    Clock::time_point from = flash.started_at();
    if (c.stop) {
      std::this_thread::sleep_until(from + *c.stop);
      from = Clock::now();
      flash.Signal(SIGINT);
    }
    const Ended e = flash.Wait(15s);
    const double wall = Seconds(e.at - flash.started_at());
    ASSERT_TRUE(e.exited) << "still running after 15 s";
    EXPECT_EQ(e.status, 3) << OutputText();
    EXPECT_LT(Seconds(e.at - from), Seconds(c.bound));
    EXPECT_EQ(LastLine(OutputText()), "Step result: 3 (stopped)");
    EXPECT_GT(peer.BytesFromHost(), 0) << "the handshake went on sending its sync bytes";
    // Mostly asleep in the port: a spinning wait would take the whole run's time.
    EXPECT_LT(e.cpu_seconds, 0.5 * wall + 0.5) << e.cpu_seconds << " CPU seconds in " << wall;
  }
}

// Ctrl-C, a termination request and the hang-up of the terminal all stop a
// download as the stop button does: the result line, the port given back, exit 3.
TEST_F(FwFlashStopTest, SignalsStopADownload) {
  const auto image = Write("image.bin", std::string(512, '\x5A'));
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sigabbrev_np(signal));
    test::PseudoTerminal pty;  // a chip that never answers
    ASSERT_TRUE(pty.ok());
    Process flash({FW_FLASH_PATH, "download", "--port", pty.slave_path(), "--chip", "QMV11A64000",
                   "--image", image.string()},
                  Output());
    ASSERT_TRUE(flash.started());
    ASSERT_TRUE(AwaitOutput("Checking target MCU")) << OutputText();
    flash.Signal(signal);
    const Ended e = flash.Wait(10s);
    ASSERT_TRUE(e.exited) << "ended by the signal itself (" << e.signal << ") or still running";
    EXPECT_EQ(e.status, 3) << OutputText();
    EXPECT_NE(OutputText().find("Terminated !("), std::string::npos) << OutputText();
    EXPECT_EQ(LastLine(OutputText()), "Step result: 3 (stopped)");
    EXPECT_TRUE(PortIsFree(pty.slave_path()));
  }
}

// The operator's run: the hang-up stops it as Ctrl-C does, and counts nothing.
TEST_F(FwFlashStopTest, HangUpStopsARun) {
  const auto flasher = dir_ / "flasher";
  const std::string pack = std::string(FW_PACK_PATH) + " " + FW_DEMO_DIR "/demo-project.json -o " +
                           flasher.string() + " --template " + FW_FLASH_PATH + " >/dev/null";
  ASSERT_EQ(std::system(pack.c_str()), 0);
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  Process flash({flasher.string(), "run", "--port", pty.slave_path(), "--password-file",
                 FW_DEMO_DIR "/demo-login-password.txt", "--lang", "en"},
                Output(), {"XDG_CONFIG_HOME=" + (dir_ / "config").string()});
  ASSERT_TRUE(flash.started());
  ASSERT_TRUE(AwaitOutput("Checking target MCU")) << OutputText();
  flash.Signal(SIGHUP);
  const Ended e = flash.Wait(10s);
  ASSERT_TRUE(e.exited) << "ended by the signal itself (" << e.signal << ") or still running";
  EXPECT_EQ(e.status, 3) << OutputText();
  EXPECT_NE(OutputText().find("Terminated !("), std::string::npos) << OutputText();
  EXPECT_EQ(LastLine(OutputText()), "Passes: 0 this run, 0 in total");
  EXPECT_TRUE(PortIsFree(pty.slave_path()));
}

}  // namespace
}  // namespace fw
