#include "model/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace relay::model {

int FileCalls::Open(const char* path, int flags, mode_t mode) const {
  return ::open(path, flags, mode);
}
ssize_t FileCalls::Write(int fd, const void* data, std::size_t size) const {
  return ::write(fd, data, size);
}
int FileCalls::Sync(int fd) const { return ::fsync(fd); }
int FileCalls::Close(int fd) const { return ::close(fd); }
int FileCalls::Rename(const char* from, const char* to) const { return ::rename(from, to); }

const FileCalls& SystemFileCalls() {
  static const FileCalls calls;
  return calls;
}

namespace {

// Links are followed to the file they name, so that saving through a link
// replaces its target and keeps the link. A loop of links ends the walk where
// it is (the rename then replaces that link).
std::filesystem::path FollowLinks(std::filesystem::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) break;
    const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
    if (ec) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

// Creates a new file beside `target`, named after it and hidden; -1 with errno
// set when the folder takes none.
int CreateTemporary(const std::filesystem::path& target, const FileCalls& calls,
                    std::string& tempPath) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "." + target.filename().string() + ".tmp-" +
                             std::to_string(::getpid()) + "-" + std::to_string(random() % 1000000);
    tempPath = (FolderOf(target) / name).string();
    const int fd = calls.Open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool WriteAll(int fd, std::string_view bytes, const FileCalls& calls) {
  while (!bytes.empty()) {
    const ssize_t written = calls.Write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = ENOSPC;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The old file's permissions (and owner, where we may set it) for the new one.
void KeepPermissions(int fd, const std::filesystem::path& target) {
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return;
  (void)::fchmod(fd, old.st_mode & 07777);
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
    (void)::fchown(fd, old.st_uid, old.st_gid);  // only root may give a file away
}

// Makes the rename itself last through a power cut; a folder that cannot be
// synced (some file systems) does not make the write fail.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string WriteFailureMessage(const std::filesystem::path& path, int error) {
  return "Cannot write file \"" + path.string() + "\". " + std::strerror(error) +
         "\n文件没有写入，原有的文件保持不变。";
}

WriteResult WriteFileWhole(const std::filesystem::path& path, std::string_view bytes,
                           const FileCalls& calls) {
  if (path.empty()) return {false, "No file name given."};
  const std::filesystem::path target = FollowLinks(path);
  std::error_code ec;
  if (std::filesystem::is_directory(target, ec)) return {false, WriteFailureMessage(path, EISDIR)};

  std::string tempPath;
  errno = 0;
  const int fd = CreateTemporary(target, calls, tempPath);
  if (fd < 0) return {false, WriteFailureMessage(path, errno ? errno : EACCES)};
  KeepPermissions(fd, target);

  int error = 0;
  if (!WriteAll(fd, bytes, calls) || calls.Sync(fd) != 0) error = errno ? errno : EIO;
  if (calls.Close(fd) != 0 && error == 0) error = errno ? errno : EIO;
  if (error == 0 && calls.Rename(tempPath.c_str(), target.c_str()) != 0)
    error = errno ? errno : EIO;
  if (error != 0) {
    ::unlink(tempPath.c_str());
    return {false, WriteFailureMessage(path, error)};
  }
  SyncFolder(FolderOf(target));
  return {};
}

}  // namespace relay::model
