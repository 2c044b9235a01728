// relay-cli's device commands end to end: the command as a child process, relay-sim in
// this process on the other side of a pseudo-terminal.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "device/DeviceImage.h"
#include "model/HexText.h"
#include "sim/RelaySim.h"

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
       "无法打开串口 /dev/no-such-port：Error opening serial port"},
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

}  // namespace
}  // namespace relay
