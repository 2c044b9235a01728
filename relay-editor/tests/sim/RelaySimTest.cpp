#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "sim/RelaySim.h"
#include "tests/sim/ExclusiveTerminal.h"

extern char** environ;

namespace relay::sim {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

std::vector<std::uint8_t> B(std::initializer_list<int> values) {
  std::vector<std::uint8_t> v;
  for (int x : values) v.push_back(static_cast<std::uint8_t>(x));
  return v;
}

std::vector<std::uint8_t> WriteFrame(int block, std::uint8_t fill) {
  std::vector<std::uint8_t> f = {0x24, 0xFF, 0x13, 0xFF, static_cast<std::uint8_t>(block)};
  for (int i = 0; i < 16; ++i) f.push_back(static_cast<std::uint8_t>(fill + i));
  f.push_back(SumByte(f.data(), f.size()));
  return f;
}

const auto kRead1 = B({0x24, 0xFF, 0x06, 0xFE, 0x01, 0, 0, 0, 0x28});

// The program's side of the line: the slave end of the simulator's terminal, raw.
class TPortSide {
 public:
  explicit TPortSide(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("open " + path);
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~TPortSide() { close(fd_); }

  void Send(const std::vector<std::uint8_t>& bytes) const {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Everything that arrives until `quiet` passes without a byte (or `limit` in all).
  std::vector<std::uint8_t> Receive(std::chrono::milliseconds quiet = 300ms,
                                    std::chrono::milliseconds limit = 5s) const {
    std::vector<std::uint8_t> bytes;
    const auto until = TClock::now() + limit;
    while (TClock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
      std::uint8_t buffer[256];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }
  // Exactly `count` bytes, or what came within `limit`.
  std::vector<std::uint8_t> ReceiveCount(std::size_t count,
                                         std::chrono::milliseconds limit = 3s) const {
    std::vector<std::uint8_t> bytes;
    const auto until = TClock::now() + limit;
    while (bytes.size() < count && TClock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      std::uint8_t buffer[256];
      const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

 private:
  int fd_ = -1;
};

struct TSimulatorRun {
  explicit TSimulatorRun(TRelaySimOptions options = {})
      : sim(std::move(options)), port(sim.SlavePath()) {
    sim.Start();
  }
  TRelaySimulator sim;
  TPortSide port;
};

TEST(RelaySimTest, AnswersReadWriteAndEraseOfItsSector) {
  TSimulatorRun run;
  std::vector<std::uint8_t> erased = {0x24, 0xFF, 0x13, 0xFE, 0x01};
  erased.insert(erased.end(), 16, 0xFF);
  erased.push_back(SumByte(erased.data(), erased.size()));
  run.port.Send(kRead1);
  EXPECT_EQ(run.port.ReceiveCount(22), erased);

  run.port.Send(WriteFrame(32, 0x40));
  EXPECT_EQ(run.port.ReceiveCount(9), B({0x24, 0xFF, 0x06, 0xFF, 0x20, 0, 0, 0, 0x48}));
  const TSector s = run.sim.Sector();
  EXPECT_EQ(s[496], 0x40);
  EXPECT_EQ(s[511], 0x4F);
  EXPECT_EQ(s[495], 0xFF);

  run.port.Send(B({0x24, 0xFF, 0x06, 0xFF, 0, 0, 0, 0, 0x28}));
  EXPECT_EQ(run.port.ReceiveCount(9), B({0x24, 0xFF, 0x06, 0xFF, 0, 0, 0, 0, 0x28}));
  EXPECT_EQ(run.sim.Sector()[511], 0xFF);
}

TEST(RelaySimTest, FramesItDoesNotAnswer) {
  TRelaySimOptions options;
  options.address = 7;
  TSimulatorRun run(options);
  struct TCase {
    const char* name;
    std::vector<std::uint8_t> frame;
  };
  const TCase cases[] = {
      {"another address", B({0x24, 0xFF, 0x06, 0xFE, 0x01, 0, 0, 0, 0x28})},
      {"wrong check byte", B({0x24, 0x07, 0x06, 0xFE, 0x01, 0, 0, 0, 0x31})},
      {"restart", B({0x24, 0x07, 0x06, 0xFD, 0, 0, 0, 0, 0x2E})},
      {"block 0 read", B({0x24, 0x07, 0x06, 0xFE, 0x00, 0, 0, 0, 0x2F})},
      {"block 33 read", B({0x24, 0x07, 0x06, 0xFE, 0x21, 0, 0, 0, 0x50})},
      {"unknown command", B({0x24, 0x07, 0x06, 0x10, 0x01, 0, 0, 0, 0x42})},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    run.port.Send(c.frame);
    EXPECT_TRUE(run.port.Receive(200ms).empty());
  }
  EXPECT_EQ(run.sim.RestartsSeen(), 1);
  EXPECT_EQ(run.sim.AnswersSent(), 0);
  // Its own address is answered, also for the erase frame's fixed last byte.
  run.port.Send(B({0x24, 0x07, 0x06, 0xFF, 0, 0, 0, 0, 0x28}));
  EXPECT_EQ(run.port.ReceiveCount(9).size(), 9u);
}

TEST(RelaySimTest, AFrameCutShortIsGivenUp) {
  TSimulatorRun run;
  run.port.Send(B({0x24, 0xFF, 0x13, 0xFF}));  // never completed
  std::this_thread::sleep_for(400ms);
  run.port.Send(kRead1);
  EXPECT_EQ(run.port.ReceiveCount(22).size(), 22u);
}

TEST(RelaySimTest, FaultOptionsShapeTheAnswers) {
  {
    SCOPED_TRACE("noise before every answer");
    TRelaySimOptions o;
    o.noise = B({0x00, 0x13, 0x7E});
    TSimulatorRun run(o);
    run.port.Send(kRead1);
    const auto got = run.port.ReceiveCount(25);
    ASSERT_EQ(got.size(), 25u);
    EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.begin() + 4), B({0x00, 0x13, 0x7E, 0x24}));
  }
  {
    SCOPED_TRACE("corrupt the second answer");
    TRelaySimOptions o;
    o.corruptAnswer = 2;
    TSimulatorRun run(o);
    for (int i = 1; i <= 3; ++i) {
      SCOPED_TRACE(i);
      run.port.Send(kRead1);
      const auto got = run.port.ReceiveCount(22);
      ASSERT_EQ(got.size(), 22u);
      EXPECT_EQ(got.back() == SumByte(got.data(), 21), i != 2);
    }
  }
  {
    SCOPED_TRACE("silent after two answers");
    TRelaySimOptions o;
    o.silentAfter = 2;
    TSimulatorRun run(o);
    for (int i = 1; i <= 3; ++i) {
      SCOPED_TRACE(i);
      run.port.Send(kRead1);
      EXPECT_EQ(run.port.Receive(200ms).size(), i <= 2 ? 22u : 0u);
    }
  }
  {
    SCOPED_TRACE("split with a pause, late");
    TRelaySimOptions o;
    o.splitPauseMs = 200;
    o.delayMs = 150;
    TSimulatorRun run(o);
    const auto start = TClock::now();
    run.port.Send(kRead1);
    const auto head = run.port.ReceiveCount(3);
    const auto headTime = TClock::now() - start;
    EXPECT_EQ(head, B({0x24, 0xFF, 0x13}));
    EXPECT_GE(headTime, 140ms);
    EXPECT_TRUE(run.port.Receive(120ms).empty());  // the pause
    const auto rest = run.port.ReceiveCount(19);
    EXPECT_EQ(rest.size(), 19u);
    EXPECT_GE(TClock::now() - start, 340ms);
  }
}

TEST(RelaySimTest, FlipByteStoresOneByteInverted) {
  TRelaySimOptions o;
  o.flipByte = 17;  // block 2, its second byte
  TSimulatorRun run(o);
  for (int block = 1; block <= 3; ++block) {
    run.port.Send(WriteFrame(block, 0x40));
    ASSERT_EQ(run.port.ReceiveCount(9).size(), 9u);
  }
  const TSector sector = run.sim.Sector();
  for (std::size_t i = 0; i < 48; ++i) {
    SCOPED_TRACE(i);
    const auto written = static_cast<std::uint8_t>(0x40 + i % 16);
    EXPECT_EQ(sector[i], i == 17 ? static_cast<std::uint8_t>(~written) : written);
  }
  EXPECT_EQ(sector[48], 0xFF);
}

// A client locks the terminal and sets its exclusive mode as a serial port is opened
// for exclusive use; the test stands in for one.
class TExclusiveClient {
 public:
  explicit TExclusiveClient(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0 || flock(fd_, LOCK_EX | LOCK_NB) != 0 || ioctl(fd_, TIOCEXCL) != 0)
      throw std::runtime_error("exclusive open of " + path);
  }
  // Ends as a killed program does: the descriptor closes, the mode stays.
  ~TExclusiveClient() { close(fd_); }

 private:
  int fd_ = -1;
};

TEST(RelaySimTest, ExclusiveUseLeftBehindByAGoneClientIsCleared) {
  TRelaySimulator sim{TRelaySimOptions{}};
  sim.Start();
  const std::string path = sim.SlavePath();
  {
    TExclusiveClient client(path);
    std::this_thread::sleep_for(400ms);  // several of the simulator's idle checks
    EXPECT_TRUE(relay::testing::TerminalIsExclusive(path))
        << "cleared while the client still held the terminal";
  }
  const auto until = TClock::now() + 2s;
  while (relay::testing::TerminalIsExclusive(path) && TClock::now() < until)
    std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(relay::testing::TerminalIsExclusive(path));
  // Answers as before.
  TPortSide port(path);
  port.Send(kRead1);
  EXPECT_EQ(port.ReceiveCount(22).size(), 22u);
}

TEST(RelaySimTest, BaudRatePacesBothDirections) {
  TRelaySimOptions o;
  o.baud = 9600;  // about 1.04 ms a byte
  TSimulatorRun run(o);
  const auto start = TClock::now();
  for (int block = 1; block <= 4; ++block) {
    run.port.Send(WriteFrame(block, 0));
    ASSERT_EQ(run.port.ReceiveCount(9).size(), 9u);
  }
  // 4 x (22 + 9) bytes = 124 bytes of line time.
  EXPECT_GE(TClock::now() - start, 120ms);
}

TEST(RelaySimTest, SectorFileKeepsTheProgram) {
  const auto file =
      std::filesystem::temp_directory_path() / ("relay-sim-test-" + std::to_string(getpid()));
  std::filesystem::remove(file);
  {
    TRelaySimOptions o;
    o.sectorFile = file.string();
    TSimulatorRun run(o);
    EXPECT_EQ(std::filesystem::file_size(file), 512u);
    run.port.Send(WriteFrame(1, 0x10));
    ASSERT_EQ(run.port.ReceiveCount(9).size(), 9u);
  }
  {
    TRelaySimOptions o;
    o.sectorFile = file.string();
    TRelaySimulator sim(o);
    EXPECT_EQ(sim.Sector()[0], 0x10);
    EXPECT_EQ(sim.Sector()[15], 0x1F);
    EXPECT_EQ(sim.Sector()[16], 0xFF);
  }
  std::ofstream(file, std::ios::trunc) << "short";
  TRelaySimOptions o;
  o.sectorFile = file.string();
  try {
    TRelaySimulator sim(o);
    ADD_FAILURE() << "accepted a short sector file";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("not 512"), std::string::npos) << e.what();
  }
  std::filesystem::remove(file);
}

TEST(RelaySimCommandTest, PrintsThePortAndEndsOnSigterm) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string program = RELAY_SIM_PATH;
  std::vector<std::string> args = {program, "--address", "9", "--delay", "10"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);

  std::string line;
  const auto until = TClock::now() + 5s;
  while (line.find('\n') == std::string::npos && TClock::now() < until) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c[64];
    const ssize_t n = read(out[0], c, sizeof c);
    if (n <= 0) break;
    line.append(c, static_cast<std::size_t>(n));
  }
  close(out[0]);
  ASSERT_NE(line.find('\n'), std::string::npos) << "no port printed";
  const std::string path = line.substr(0, line.find('\n'));
  EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  {
    TPortSide port(path);
    port.Send(B({0x24, 0x09, 0x06, 0xFE, 0x01, 0, 0, 0, 0x32}));
    EXPECT_EQ(port.ReceiveCount(22).size(), 22u);
  }
  kill(pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(20ms);
  if (!WIFEXITED(status)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "relay-sim did not end on SIGTERM";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace relay::sim
