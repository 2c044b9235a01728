#include "app/run/profile_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fw {
namespace {

constexpr std::string_view kLockSuffix = ".flock";
// The temporary files beside the profile: "<profile>.<pid>-<n>.tmp".
constexpr std::string_view kTempSuffix = ".tmp";
constexpr int kTempNameAttempts = 100;
// New files get these permissions less the umask, as the settings library gives them.
constexpr mode_t kNewFileMode = 0666;
constexpr std::size_t kTrialChunk = 4096;

std::string SystemReason(int error) { return std::strerror(error); }

std::string FolderOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

std::string TempNameBeside(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + "." + std::to_string(getpid()) + "-" + std::to_string(++counter) +
         std::string(kTempSuffix);
}

// A new file beside path, opened for writing; -1 with the reason.
int CreateBeside(const std::string& path, mode_t mode, std::string& created, std::string& reason) {
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    created = TempNameBeside(path);
    const int fd = open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      reason = SystemReason(errno);
      return -1;
    }
  }
  reason = SystemReason(EEXIST);
  return -1;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, std::string& reason) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      reason = SystemReason(errno);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The profile, when it exists, must be a file that a rename can replace.
bool ProfileIsReplaceable(const std::string& path, std::string& reason) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    reason = SystemReason(errno);
    return false;
  }
  if (S_ISREG(st.st_mode)) return true;
  reason = SystemReason(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  return false;
}

bool SyncFolder(const std::string& path, std::string& reason) {
  const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    reason = SystemReason(errno);
    return false;
  }
  const bool synced = fsync(fd) == 0;
  if (!synced) reason = SystemReason(errno);
  close(fd);
  return synced;
}

}  // namespace

std::string ProfileLockPath(const std::string& profile_path) {
  return profile_path + std::string(kLockSuffix);
}

bool MakeProfileFolder(const std::string& profile_path, std::string& reason) {
  std::error_code error;
  std::filesystem::create_directories(FolderOf(profile_path), error);
  if (!error) return true;
  reason = SystemReason(error.value());
  return false;
}

ProfileLockFile::Attempt ProfileLockFile::TryTake(const std::string& lock_path,
                                                  std::string& reason) {
  if (fd_ >= 0) return Attempt::kTaken;
  const int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kNewFileMode);
  if (fd < 0) {
    reason = SystemReason(errno);
    return Attempt::kFailed;
  }
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return Attempt::kTaken;
    }
    if (errno == EINTR) continue;
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return Attempt::kBusy;
    reason = SystemReason(error);
    return Attempt::kFailed;
  }
}

void ProfileLockFile::Release() {
  if (fd_ < 0) return;
  flock(fd_, LOCK_UN);
  close(fd_);
  fd_ = -1;
}

std::size_t ProfileSize(const std::string& profile_path) {
  struct stat st {};
  if (stat(profile_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<std::size_t>(st.st_size);
}

bool TryProfileWrite(const std::string& profile_path, std::size_t bytes, std::string& reason) {
  if (!MakeProfileFolder(profile_path, reason) || !ProfileIsReplaceable(profile_path, reason))
    return false;
  std::string trial;
  const int fd = CreateBeside(profile_path, kNewFileMode, trial, reason);
  if (fd < 0) return false;
  const std::vector<std::uint8_t> chunk(kTrialChunk, 0);
  bool ok = true;
  for (std::size_t left = bytes; ok && left > 0;) {
    const std::size_t n = std::min(left, chunk.size());
    ok = WriteAll(fd, chunk.data(), n, reason);
    left -= n;
  }
  if (ok && fsync(fd) != 0) {
    reason = SystemReason(errno);
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    reason = SystemReason(errno);
    ok = false;
  }
  unlink(trial.c_str());
  return ok;
}

std::optional<std::string> MakeProfileTempFile(const std::string& profile_path,
                                               std::string& reason) {
  if (!MakeProfileFolder(profile_path, reason) || !ProfileIsReplaceable(profile_path, reason))
    return std::nullopt;
  std::string temp;
  const int fd = CreateBeside(profile_path, kNewFileMode, temp, reason);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  // The profile keeps its permissions; should they not carry over, the new
  // file still holds the values.
  if (stat(profile_path.c_str(), &st) == 0) (void)fchmod(fd, st.st_mode & 07777);
  if (close(fd) != 0) {
    reason = SystemReason(errno);
    unlink(temp.c_str());
    return std::nullopt;
  }
  return temp;
}

bool ReplaceProfile(const std::string& temp_path, const std::string& profile_path,
                    std::string& reason) {
  if (rename(temp_path.c_str(), profile_path.c_str()) != 0) {
    reason = SystemReason(errno);
    unlink(temp_path.c_str());
    return false;
  }
  return SyncFolder(profile_path, reason);
}

void RemoveProfileTempFile(const std::string& temp_path) { unlink(temp_path.c_str()); }

}  // namespace fw
