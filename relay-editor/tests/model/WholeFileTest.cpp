// Files written for the user are replaced whole or not at all: a full disk, a
// folder that takes no new file or a failed rename leave the old file as it
// was, with no temporary file left behind.

#include "model/WholeFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "model/ProjectFile.h"

namespace relay::model {
namespace {

namespace fs = std::filesystem;

std::string ReadRaw(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteRaw(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

mode_t Mode(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

// The system's calls, with one of them made to fail.
struct FailingCalls : FileCalls {
  std::function<int(const char*, int, mode_t)> open;
  std::function<ssize_t(int, const void*, std::size_t)> write;
  std::function<int(int)> sync;
  std::function<int(int)> close;
  std::function<int(const char*, const char*)> rename;

  int Open(const char* p, int f, mode_t m) const override {
    return open ? open(p, f, m) : FileCalls::Open(p, f, m);
  }
  ssize_t Write(int fd, const void* d, std::size_t n) const override {
    return write ? write(fd, d, n) : FileCalls::Write(fd, d, n);
  }
  int Sync(int fd) const override { return sync ? sync(fd) : FileCalls::Sync(fd); }
  int Close(int fd) const override { return close ? close(fd) : FileCalls::Close(fd); }
  int Rename(const char* a, const char* b) const override {
    return rename ? rename(a, b) : FileCalls::Rename(a, b);
  }
};

int Fail(int error) {
  errno = error;
  return -1;
}

class WholeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("relay_whole_file_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

TEST_F(WholeFileTest, AFailedWriteLeavesTheOldFileAsItWas) {
  struct Case {
    const char* name;
    std::function<void(FailingCalls&)> fail;
    const char* reason;
  };
  const Case cases[] = {
      {"the folder takes no new file",
       [](FailingCalls& c) { c.open = [](const char*, int, mode_t) { return Fail(EACCES); }; },
       std::strerror(EACCES)},
      {"the disk fills up half way",
       [](FailingCalls& c) {
         auto written = std::make_shared<std::size_t>(0);
         c.write = [written](int fd, const void* d, std::size_t n) -> ssize_t {
           if (*written >= 4096) return Fail(ENOSPC);
           const ssize_t w = ::write(fd, d, std::min<std::size_t>(n, 4096 - *written));
           if (w > 0) *written += static_cast<std::size_t>(w);
           return w;
         };
       },
       std::strerror(ENOSPC)},
      {"the disk takes nothing more",
       [](FailingCalls& c) {
         c.write = [](int, const void*, std::size_t) -> ssize_t { return 0; };
       },
       std::strerror(ENOSPC)},
      {"flushing fails", [](FailingCalls& c) { c.sync = [](int) { return Fail(EIO); }; },
       std::strerror(EIO)},
      {"closing fails",
       [](FailingCalls& c) {
         c.close = [](int fd) {
           ::close(fd);
           return Fail(EDQUOT);
         };
       },
       std::strerror(EDQUOT)},
      {"the rename fails",
       [](FailingCalls& c) { c.rename = [](const char*, const char*) { return Fail(EBUSY); }; },
       std::strerror(EBUSY)},
  };
  const std::string old = "02 80 01 83\r\n00 FF FF FE\r\n";
  const std::string updated(300000, 'x');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool existed : {true, false}) {
      SCOPED_TRACE(existed ? "over an old file" : "a new file");
      const fs::path path = dir / "p.vyl";
      fs::remove(path);
      if (existed) WriteRaw(path, old);
      FailingCalls calls;
      c.fail(calls);
      const WriteResult result = WriteFileWhole(path, updated, calls);
      EXPECT_FALSE(result.ok);
      EXPECT_NE(result.message.find(path.string()), std::string::npos) << result.message;
      EXPECT_NE(result.message.find(c.reason), std::string::npos) << result.message;
      EXPECT_NE(result.message.find("原有的文件保持不变"), std::string::npos) << result.message;
      if (existed) {
        EXPECT_EQ(ReadRaw(path), old);
        EXPECT_EQ(Names(dir), std::vector<std::string>{"p.vyl"});
      } else {
        EXPECT_TRUE(Names(dir).empty());
      }
    }
  }
}

TEST_F(WholeFileTest, ShortWritesStillGiveTheWholeContent) {
  FailingCalls calls;
  calls.write = [](int fd, const void* d, std::size_t n) -> ssize_t {
    static int interrupted = 0;
    if (++interrupted % 5 == 0) return Fail(EINTR);
    return ::write(fd, d, std::min<std::size_t>(n, 7));
  };
  const std::string content(10000, 'a');
  const fs::path path = dir / "p.vyl";
  WriteRaw(path, "old");
  ASSERT_TRUE(WriteFileWhole(path, content, calls));
  EXPECT_EQ(ReadRaw(path), content);
  EXPECT_EQ(Names(dir), std::vector<std::string>{"p.vyl"});
}

TEST_F(WholeFileTest, TheOldFileKeepsItsPermissionsAndANewOneFollowsTheUmask) {
  const fs::path path = dir / "p.vyl";
  WriteRaw(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(WriteFileWhole(path, "new"));
  EXPECT_EQ(Mode(path), 0640u);

  const mode_t mask = ::umask(027);
  const fs::path fresh = dir / "fresh.vyl";
  const bool written = bool(WriteFileWhole(fresh, "new"));
  ::umask(mask);
  ASSERT_TRUE(written);
  EXPECT_EQ(Mode(fresh), 0640u);
}

TEST_F(WholeFileTest, ALinkIsSavedToItsTargetAndStaysALink) {
  fs::create_directories(dir / "projects");
  const fs::path target = dir / "projects" / "real.vyl";
  WriteRaw(target, "old");
  const fs::path link = dir / "link.vyl";
  fs::create_symlink("projects/real.vyl", link);
  const fs::path second = dir / "second.vyl";
  fs::create_symlink(link, second);  // a link to the link
  ASSERT_TRUE(WriteFileWhole(second, "new"));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(second)));
  EXPECT_EQ(ReadRaw(target), "new");
  EXPECT_EQ(Names(dir / "projects"), std::vector<std::string>{"real.vyl"});
  // A link to a file not made yet creates the file it names.
  const fs::path dangling = dir / "dangling.vyl";
  fs::create_symlink("projects/later.vyl", dangling);
  ASSERT_TRUE(WriteFileWhole(dangling, "later"));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dangling)));
  EXPECT_EQ(ReadRaw(dir / "projects" / "later.vyl"), "later");
}

TEST_F(WholeFileTest, NoFolderOrAFolderInTheWayIsRefused) {
  EXPECT_FALSE(WriteFileWhole(dir / "no" / "such" / "p.vyl", "x").ok);
  fs::create_directories(dir / "sub");
  const WriteResult result = WriteFileWhole(dir / "sub", "x");
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
  EXPECT_FALSE(WriteFileWhole("", "x").ok);
}

// A folder the user may not write: root writes anything, so the check runs as an
// unprivileged user then.
TEST_F(WholeFileTest, AReadOnlyFolderGivesTheMessageOfAFailedWrite) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const fs::path path = dir / "p.vyl";
  WriteRaw(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(2);
        const WriteResult result = WriteFileWhole(path, "new");
        if (result.ok) std::_Exit(3);
        if (result.message.find(std::strerror(EACCES)) == std::string::npos) std::_Exit(4);
        if (result.message != WriteFailureMessage(path, EACCES)) std::_Exit(5);
        if (ReadRaw(path) != "old") std::_Exit(6);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  ::chmod(dir.c_str(), 0755);
}

// A real full disk: a small tmpfs in a mount namespace of a child process, where
// the test may make one (root with the right to mount); skipped elsewhere.
TEST_F(WholeFileTest, AFullFileSystemLeavesTheOldProjectWhole) {
  const fs::path mountPoint = dir / "small";
  fs::create_directories(mountPoint);
  constexpr int kSkip = 77;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=512k") != 0)
      std::_Exit(kSkip);
    const fs::path project = mountPoint / "p.vyl";
    std::vector<std::string> oldLines(2000, "02 80 01 83");  // 26,000 bytes
    if (!WriteProjectFile(project, oldLines)) std::_Exit(2);
    const std::string old = ReadRaw(project);
    // Fill what is left but a little.
    WriteRaw(mountPoint / "other", std::string(300 * 1024, 'f'));
    std::vector<std::string> newLines(23077, "04 00 01 05");  // 300,001 bytes
    const FileResult result = WriteProjectFile(project, newLines);
    if (result.ok) std::_Exit(3);
    if (result.message.find(std::strerror(ENOSPC)) == std::string::npos) std::_Exit(4);
    if (ReadRaw(project) != old) std::_Exit(5);
    if (Names(mountPoint) != std::vector<std::string>{"other", "p.vyl"}) std::_Exit(6);
    // Room again: the save goes through.
    fs::remove(mountPoint / "other");
    if (!WriteProjectFile(project, newLines)) std::_Exit(7);
    if (fs::file_size(project) != 23077u * 13) std::_Exit(8);
    std::_Exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kSkip) GTEST_SKIP() << "no tmpfs can be mounted here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace relay::model
