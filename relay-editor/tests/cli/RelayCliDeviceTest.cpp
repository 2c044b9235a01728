// relay-cli's device commands end to end: the command as a child process, relay-sim in
// this process on the other side of a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "device/DeviceImage.h"
#include "model/HexText.h"
#include "sim/RelaySim.h"
#include "tests/sim/ExclusiveTerminal.h"

extern char** environ;

namespace relay {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

struct TRunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::chrono::milliseconds took{0};
};

// Runs relay-cli with the arguments; kills it after `limit`.
TRunResult RunCli(const std::vector<std::string>& args, std::chrono::milliseconds limit = 30s) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<std::string> all = {RELAY_CLI_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = TClock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  TRunResult result;
  if (spawned != 0) {
    close(out[0]);
    close(err[0]);
    return result;
  }
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0 && TClock::now() - start < limit) {
    if (poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == 0) {
    const auto until = TClock::now() + 1s;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (TClock::now() > until) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        result.err += "\n[killed: took too long]";
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
  }
  result.took = std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

// relay-cli running in the background, its output in files, so that a test can signal
// it in the middle of a transfer.
class TBackgroundCli {
 public:
  TBackgroundCli(const std::vector<std::string>& args, const std::filesystem::path& errFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> all = {RELAY_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, all[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~TBackgroundCli() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }
  void Signal(int signal) const { kill(pid_, signal); }
  // The wait status, or nothing when it did not end within `limit`.
  std::optional<int> Wait(std::chrono::milliseconds limit = 5s) {
    const auto until = TClock::now() + limit;
    int status = 0;
    while (TClock::now() < until) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return status;
      }
      std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = 0;
};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 2s) {
  const auto until = TClock::now() + limit;
  while (!done() && TClock::now() < until) std::this_thread::sleep_for(10ms);
  return done();
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class RelayCliDeviceTest : public ::testing::Test {
 protected:
  RelayCliDeviceTest() {
    dir = std::filesystem::temp_directory_path() /
          ("relay-cli-device-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  ~RelayCliDeviceTest() override {
    if (sim) sim->Stop();
    sim.reset();
    std::filesystem::remove_all(dir);
  }
  void StartSimulator(sim::TRelaySimOptions options = {}) {
    sim = std::make_unique<sim::TRelaySimulator>(std::move(options));
    sim->Start();
  }
  std::filesystem::path Project(const std::string& name, const std::string& content) {
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::filesystem::path dir;
  std::unique_ptr<sim::TRelaySimulator> sim;
};

TEST_F(RelayCliDeviceTest, WritesReadsBackErasesAndRestarts) {
  StartSimulator();
  const auto program =
      Project("p.vyl", "02 80 01 83\r\n85 00 01 05 00 00 00 01 02 8E\r\n00 FF FF FE\r\n");
  auto r = RunCli({"write", program.string(), "--port", sim->SlavePath(), "--restart"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("32 / 32"), std::string::npos) << r.err;
  EXPECT_EQ(
      model::BytesToHexText(sim->Sector()) + " ",
      device::BuildDeviceImage({"02 80 01 83", "85 00 01 05 00 00 00 01 02 8E", "00 FF FF FE"}));
  EXPECT_TRUE(WaitFor([&] { return sim->RestartsSeen() == 1; }));

  const auto back = dir / "back.vyl";
  r = RunCli({"read", "-o", back.string(), "--port", sim->SlavePath()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Entries exactly as read: the serial trigger keeps its trailing blank.
  EXPECT_EQ(ReadFile(back), "02 80 01 83\r\n85 00 01 05 00 00 00 01 02 8E \r\n00 FF FF FE\r\n");

  r = RunCli({"erase", "--port", sim->SlavePath()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(sim->RestartsSeen(), 1);  // no --restart
  r = RunCli({"read", "-o", back.string(), "--port", sim->SlavePath()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(back), "");

  r = RunCli({"restart", "--port", sim->SlavePath()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // The frame goes out before the command closes the port.
  EXPECT_TRUE(WaitFor([&] { return sim->RestartsSeen() == 2; }));
}

TEST_F(RelayCliDeviceTest, OptimiseAndAddressOptions) {
  sim::TRelaySimOptions options;
  options.address = 12;
  StartSimulator(options);
  const auto program = Project("p.vyl", "00 00 03 03\r\n02 80 01 83\r\nFF FF FF\r\n");
  auto r = RunCli({"write", program.string(), "--optimise", "--port", sim->SlavePath(), "--address",
                   "12", "--baud", "115200"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto sector = model::BytesToHexText(sim->Sector());
  EXPECT_EQ(sector.substr(0, 24), "02 80 01 83 00 00 03 03 ");
}

TEST_F(RelayCliDeviceTest, FailuresEndWithAMessageAndExitCodeOne) {
  sim::TRelaySimOptions options;
  options.silentAfter = 3;
  StartSimulator(options);
  const auto program = Project("p.vyl", "02 80 01 83\r\n");
  const auto empty = Project("empty.vyl", "");
  struct TCase {
    const char* name;
    std::vector<std::string> args;
    const char* message;
  };
  const TCase cases[] = {
      {"port missing",
       {"read", "-o", (dir / "x.vyl").string(), "--port", "/dev/no-such-port"},
       "无法打开串口 /dev/no-such-port：Error opening serial port\n"
       "/dev/no-such-port: No such file or directory"},
      {"device falls silent",
       {"write", program.string(), "--port", sim->SlavePath(), "--timeout", "300"},
       "设备没有应答：写入第 4 块时在 300 毫秒内没有收到有效应答，写入已停止！"},
      {"device silent from the start",
       {"erase", "--port", sim->SlavePath(), "--timeout", "300"},
       "设备没有应答：清除扇区时在 300 毫秒内没有收到有效应答！"},
      {"nothing to write", {"write", empty.string(), "--port", sim->SlavePath()}, "没有指令！"},
      {"file missing",
       {"write", (dir / "none.vyl").string(), "--port", sim->SlavePath()},
       "none.vyl"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TRunResult r = RunCli(c.args);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_LT(r.took, 5s);
  }
  EXPECT_EQ(RunCli({"read", "--port", sim->SlavePath()}).exitCode, 2);  // -o is required
}

std::string TimerLines(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "04 00 01 05\r\n";
  return lines;
}

// A program with a filler inside reads back as fewer entries than it has: the check
// compares the sector bytes with the image a write sends instead. Such a program is
// no longer written (the controller's program would end at the filler), but a sector
// that holds one, written before, is still compared byte for byte, with a warning.
TEST_F(RelayCliDeviceTest, VerifyComparesTheSectorByteForByte) {
  StartSimulator();
  const auto program = Project("p.vyl", "02 80 01 83\r\nFF FF FF\r\n00 FF FF FE\r\n");
  auto r = RunCli({"write", program.string(), "--verify", "--port", sim->SlavePath()});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("第 2 条是无效指令"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("“优化指令”会删除无效指令"), std::string::npos) << r.err;
  EXPECT_EQ(sim->FramesSeen(), 0);

  const auto image =
      model::HexTextToBytes(device::BuildDeviceImage({"02 80 01 83", "FF FF FF", "00 FF FF FE"}));
  sim::TSector sector;
  std::copy(image.begin(), image.end(), sector.begin());
  sim->SetSector(sector);
  r = RunCli({"verify", program.string(), "--port", sim->SlavePath()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("警告：" + program.string() + " 第 2 条指令写入时会被拒绝"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("校验通过"), std::string::npos) << r.err;

  // Another program's image is not what the sector holds.
  const auto other = Project("other.vyl", "02 80 01 83\r\nFF FF FF\r\n00 FF FF FF\r\n");
  r = RunCli({"verify", other.string(), "--port", sim->SlavePath()});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("校验失败：第 1 块不同（扇区第 10 字节写入 FF，读回 FE）"),
            std::string::npos)
      << r.err;
}

TEST_F(RelayCliDeviceTest, VerifyFindsTheBlockOfAByteTheSectorDidNotKeep) {
  sim::TRelaySimOptions options;
  options.flipByte = 70;  // block 5
  StartSimulator(options);
  const auto program = Project("full.vyl", TimerLines(128));
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"write", program.string(), "--verify", "--restart"},
        std::vector<std::string>{"verify", program.string()}}) {
    SCOPED_TRACE(command[0]);
    std::vector<std::string> args = command;
    args.insert(args.end(), {"--port", sim->SlavePath()});
    const TRunResult r = RunCli(args);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("校验失败：第 5 块不同（扇区第 70 字节写入 01，读回 FE）"),
              std::string::npos)
        << r.err;
  }
  // No restart after a failed check.
  EXPECT_EQ(sim->RestartsSeen(), 0);
}

TEST_F(RelayCliDeviceTest, ReadImageWritesTheRawSector) {
  StartSimulator();
  sim::TSector sector;
  for (std::size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<std::uint8_t>(i * 7);
  sim->SetSector(sector);
  const auto image = dir / "sector.bin";
  const TRunResult r = RunCli({"read", "--image", image.string(), "--port", sim->SlavePath()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(image), std::string(sector.begin(), sector.end()));
}

// A program over the capacity is not written unless --trim leaves the end out, as the
// editor's trim question does, and says what it left out.
TEST_F(RelayCliDeviceTest, AProgramOverTheCapacityIsRefusedUnlessTrimmed) {
  StartSimulator();
  const auto program = Project("big.vyl", TimerLines(130));
  auto r = RunCli({"write", program.string(), "--port", sim->SlavePath()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("520 字节，超出扇区容量 512 字节"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--trim"), std::string::npos) << r.err;
  EXPECT_EQ(sim->FramesSeen(), 0);

  r = RunCli({"write", program.string(), "--trim", "--port", sim->SlavePath()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("第 129 到第 130 条指令（2 条，8 字节）"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("已写入 128 条指令（512 字节）"), std::string::npos) << r.err;
  EXPECT_EQ(model::BytesToHexText(sim->Sector()) + " ",
            device::BuildDeviceImage(std::vector<std::string>(128, "04 00 01 05")));
}

TEST_F(RelayCliDeviceTest, AFileThatIsNoProgramIsNotWritten) {
  StartSimulator();
  std::string binary;
  for (int i = 0; i < 2048; ++i) binary += static_cast<char>((i * 37) & 0xFF);
  const std::pair<const char*, std::string> files[] = {
      {"binary", binary},
      {"bytes without blanks", std::string(TimerLines(2)) + "0280 0183\r\n"},
  };
  for (const auto& [name, content] : files) {
    SCOPED_TRACE(name);
    const TRunResult r =
        RunCli({"write", Project("x.vyl", content).string(), "--port", sim->SlavePath()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("不是指令的十六进制数据"), std::string::npos) << r.err;
  }
  EXPECT_EQ(sim->FramesSeen(), 0);
}

// A program whose entries the controller would walk differently (a byte short, a
// filler before the last Instruction) is refused before the port is opened; with
// --optimise the filler goes first and the program is written.
TEST_F(RelayCliDeviceTest, OnlyWholeInstructionsAreWritten) {
  StartSimulator();
  const std::pair<std::string, std::string> files[] = {
      {"02 80 01 83\r\n02 80 01\r\n00 FF FF FE\r\n", "第 2 条指令的字节数与指令种类不符"},
      {"02 80 01 83\r\nFF FF FF\r\n00 FF FF FE\r\n", "第 2 条是无效指令"},
      {"85 00 01 05 00 00 00 01 02 8E FF\r\n", "第 1 条指令的第 11 个字节是 FF"},
  };
  for (const auto& [content, message] : files) {
    SCOPED_TRACE(message);
    const TRunResult r =
        RunCli({"write", Project("x.vyl", content).string(), "--port", sim->SlavePath()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("没有写入任何数据！"), std::string::npos) << r.err;
  }
  EXPECT_EQ(sim->FramesSeen(), 0);
  const TRunResult r = RunCli({"write", Project("x.vyl", files[1].first).string(), "--optimise",
                               "--verify", "--port", sim->SlavePath()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(model::BytesToHexText(sim->Sector()) + " ",
            device::BuildDeviceImage({"02 80 01 83", "00 FF FF FE"}));
}

// A pseudo-terminal that never answers; the test holds both sides.
class TSilentLine {
 public:
  TSilentLine() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0)
      throw std::runtime_error("pseudo-terminal");
    path_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~TSilentLine() {
    close(slave_);
    close(master_);
  }
  const std::string& Path() const { return path_; }
  bool Exclusive() const {
    int exclusive = 0;
    return ioctl(slave_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
  }
  std::size_t Received() {
    char buffer[256];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n > 0) received_ += static_cast<std::size_t>(n);
    return received_;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::size_t received_ = 0;
};

// Interrupted in the middle of a transfer, relay-cli gives the port up (its exclusive
// use included) before it ends by the signal.
TEST_F(RelayCliDeviceTest, SigintAndSigtermReleaseThePort) {
  const auto program = Project("p.vyl", "02 80 01 83\r\n");
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sigabbrev_np(signal));
    TSilentLine line;
    const auto err = dir / "err.txt";
    TBackgroundCli cli({"write", program.string(), "--port", line.Path(), "--timeout", "20000"},
                       err);
    ASSERT_TRUE(cli.Started());
    // The first frame has gone out: the port is open and the write waits for its answer.
    ASSERT_TRUE(WaitFor([&] { return line.Received() >= 22; }, 5s));
    EXPECT_TRUE(line.Exclusive());
    cli.Signal(signal);
    const auto status = cli.Wait();
    ASSERT_TRUE(status.has_value()) << "relay-cli did not end";
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == signal) << *status;
    EXPECT_FALSE(line.Exclusive());
    EXPECT_NE(ReadFile(err).find("已中断"), std::string::npos) << ReadFile(err);
  }
}

// A client killed outright cannot give anything up; relay-sim clears the exclusive use
// it left behind as soon as it is idle, so the next command opens the port.
TEST_F(RelayCliDeviceTest, AKilledClientDoesNotLockTheSimulator) {
  sim::TRelaySimOptions options;
  options.baud = 9600;  // a write takes about a second
  StartSimulator(options);
  const auto program = Project("full.vyl", TimerLines(128));
  {
    TBackgroundCli cli({"write", program.string(), "--port", sim->SlavePath()}, dir / "err.txt");
    ASSERT_TRUE(cli.Started());
    ASSERT_TRUE(WaitFor([&] { return sim->FramesSeen() >= 3; }, 5s));
    cli.Signal(SIGKILL);
    ASSERT_TRUE(cli.Wait().has_value());
  }
  EXPECT_TRUE(WaitFor([&] { return !relay::testing::TerminalIsExclusive(sim->SlavePath()); }));
  const TRunResult r =
      RunCli({"read", "-o", (dir / "back.vyl").string(), "--port", sim->SlavePath()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace
}  // namespace relay
