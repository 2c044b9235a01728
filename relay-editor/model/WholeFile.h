#pragma once
// Writing a file for the user so that a failure leaves the old content whole:
// the bytes go to a temporary file in the same folder, which is flushed to the
// disk and only then renamed over the old file. A symbolic link is written
// through to its target, and the old file keeps its permissions.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace relay::model {

// The system calls the writer makes, one virtual function each, so that a test
// can make one of them fail as a full disk or a refused folder would. The
// defaults call the system.
class FileCalls {
 public:
  virtual ~FileCalls() = default;
  virtual int Open(const char* path, int flags, mode_t mode) const;
  virtual ssize_t Write(int fd, const void* data, std::size_t size) const;
  virtual int Sync(int fd) const;
  virtual int Close(int fd) const;
  virtual int Rename(const char* from, const char* to) const;
};

// The calls of the system itself.
const FileCalls& SystemFileCalls();

struct WriteResult {
  bool ok = true;
  std::string message;  // UTF-8; names the file and the system's reason on failure
  explicit operator bool() const { return ok; }
};

// Replaces the file's content by `bytes`, or leaves it as it was and says why:
// the folder takes no new file, the disk is full, the rename fails. No
// temporary file is left behind either way.
WriteResult WriteFileWhole(const std::filesystem::path& path, std::string_view bytes,
                           const FileCalls& calls = SystemFileCalls());

// The message of a failed write: the file, the system's reason, and that the
// old file is unchanged.
std::string WriteFailureMessage(const std::filesystem::path& path, int error);

}  // namespace relay::model
