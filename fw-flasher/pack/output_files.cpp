#include "pack/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace fw {
namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path,
                                                       std::string& error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = "cannot read " + path.string() + ": no such file";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read " + path.string();
    return std::nullopt;
  }
  return bytes;
}

std::string WriteFileReplacing(const std::filesystem::path& path,
                               std::span<const std::uint8_t> bytes, mode_t mode) {
  // Renaming over a FIFO, a device or a folder would take it away.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
    return path.string() +
           " is no regular file: fw-pack writes only to a regular file or a new name";
  std::string temporary = path.string() + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return SystemError("cannot create a file beside " + path.string());
  std::string error;
  if (!WriteAll(fd, bytes))
    error = SystemError("cannot write " + temporary);
  else if (::fchmod(fd, mode) != 0)
    error = SystemError("cannot set the mode of " + temporary);
  else if (::fsync(fd) != 0)
    error = SystemError("cannot write " + temporary);
  if (::close(fd) != 0 && error.empty()) error = SystemError("cannot write " + temporary);
  if (error.empty() && ::rename(temporary.c_str(), path.c_str()) != 0)
    error = SystemError("cannot replace " + path.string());
  if (!error.empty()) ::unlink(temporary.c_str());
  return error;
}

std::filesystem::path DefaultFlasherTemplate() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const std::filesystem::path dir = self.parent_path();
  for (const auto& candidate : {dir / "fw-flash", dir / ".." / "cli" / "fw-flash"}) {
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate.lexically_normal();
  }
  return {};
}

}  // namespace fw
