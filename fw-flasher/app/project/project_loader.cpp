#include "app/project/project_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "app/project/project_embedding.h"
#include "app/project/project_format.h"
#include "app/project/project_parser.h"

namespace fw {
namespace pt = project_trailer;
namespace {

constexpr std::array<std::uint8_t, 4> kProgramFileMagic = {0x7F, 'E', 'L', 'F'};

ProjectLoadResult Refused(int message_id, std::string reason) {
  ProjectLoadResult result;
  result.message_id = message_id;
  result.reason = std::move(reason);
  return result;
}

ProjectLoadResult Parsed(std::span<const std::uint8_t> container) {
  ProjectParseResult parsed = ParseProjectContainer(container);
  if (!parsed.project) return Refused(kMsgFileDamaged, std::move(parsed.refusal));
  ProjectLoadResult result;
  result.project = std::move(parsed.project);
  return result;
}

bool BeginsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  return "no ordinary file";
}

// Reads parts of one regular file; every read is checked against the file's
// size. Anything else (a FIFO, a device, a folder) is refused before it is
// opened for reading, since its reads may wait for ever.
class FileReader {
 public:
  explicit FileReader(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      error_ = std::strerror(errno);
      return;
    }
    if (!S_ISREG(info.st_mode)) {
      error_ = std::string("no regular file (") + KindOf(info.st_mode) + ")";
      return;
    }
    // Without waiting, should the name have become a FIFO since.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
      error_ = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
      error_ = std::string("no regular file (") + KindOf(info.st_mode) + ")";
    } else {
      size_ = static_cast<std::uint64_t>(info.st_size);
      return;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  ~FileReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  bool is_open() const { return fd_ >= 0; }
  // Why the file is not open.
  const std::string& error() const { return error_; }
  std::uint64_t size() const { return size_; }
  std::optional<std::vector<std::uint8_t>> Read(std::uint64_t offset, std::size_t length) {
    if (offset > size_ || length > size_ - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(length);
    std::size_t done = 0;
    while (done < length) {
      const ssize_t n =
          ::pread(fd_, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return std::nullopt;
      done += static_cast<std::size_t>(n);
    }
    return bytes;
  }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::string error_;
};

std::optional<ProjectTrailer> ReadTrailer(FileReader& file) {
  if (file.size() < pt::kSize) return std::nullopt;
  const auto tail = file.Read(file.size() - pt::kSize, pt::kSize);
  if (!tail) return std::nullopt;
  return FindTrailer(*tail);
}

ProjectLoadResult LoadCarriedBlock(FileReader& file, const ProjectTrailer& trailer) {
  const std::uint64_t room = file.size() - pt::kSize;
  if (trailer.block_length > pt::kMaxBlockSize || trailer.block_length > room)
    return Refused(kMsgFileVerificationFailed,
                   "the project trailer names a block longer than the file");
  const auto stored = file.Read(room - trailer.block_length, trailer.block_length);
  if (!stored) return Refused(kMsgFileVerificationFailed, "the project data cannot be read");
  if (Crc32(*stored) != trailer.block_crc)
    return Refused(kMsgFileVerificationFailed, "the project data does not match its CRC");
  return LoadStoredBlock(*stored);
}

}  // namespace

ProjectLoadResult LoadStoredBlock(std::span<const std::uint8_t> stored) {
  return Parsed(UnscrambleContainer(stored));
}

ProjectLoadResult LoadBareBlock(std::span<const std::uint8_t> bytes) {
  if (BeginsWith(bytes, project_format::kMagic)) return Parsed(bytes);
  return LoadStoredBlock(bytes);
}

ProjectLoadResult LoadOwnProject() { return LoadProjectFromProgram("/proc/self/exe"); }

ProjectLoadResult LoadProjectFromProgram(const std::filesystem::path& program) {
  FileReader file(program);
  if (!file.is_open())
    return Refused(kMsgFileVerificationFailed, "the program file cannot be read: " + file.error());
  const auto trailer = ReadTrailer(file);
  if (!trailer) return Refused(kMsgFileVerificationFailed, "the program carries no project data");
  return LoadCarriedBlock(file, *trailer);
}

ProjectLoadResult LoadProjectFile(const std::filesystem::path& path) {
  FileReader file(path);
  if (!file.is_open())
    return Refused(kMsgFileVerificationFailed, "the file cannot be read: " + file.error());
  if (const auto trailer = ReadTrailer(file)) return LoadCarriedBlock(file, *trailer);
  const auto head = file.Read(
      0, static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), kProgramFileMagic.size())));
  if (head && BeginsWith(*head, kProgramFileMagic))
    return Refused(kMsgFileVerificationFailed, "the program carries no project data");
  if (file.size() > pt::kMaxBlockSize)
    return Refused(kMsgFileDamaged, "the file is far larger than any project data");
  const auto bytes = file.Read(0, static_cast<std::size_t>(file.size()));
  if (!bytes) return Refused(kMsgFileVerificationFailed, "the file cannot be read");
  return LoadBareBlock(*bytes);
}

}  // namespace fw
