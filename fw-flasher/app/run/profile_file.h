// The file work under the profile, in plain POSIX calls: its folder, its lock
// file, a trial write, and the replacement of the profile by a complete new
// file. A failure comes back as the system's reason.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace fw {

// The lock file beside the profile ("<profile>.flock"). It is never removed:
// a program that waits for it holds it open.
std::string ProfileLockPath(const std::string& profile_path);

// The profile's folder, made when it is missing.
bool MakeProfileFolder(const std::string& profile_path, std::string& reason);

// An exclusive flock on the lock file, held while the object lives (or until
// Release); the lock file is made when it is missing.
class ProfileLockFile {
 public:
  ProfileLockFile() = default;
  ~ProfileLockFile() { Release(); }
  ProfileLockFile(const ProfileLockFile&) = delete;
  ProfileLockFile& operator=(const ProfileLockFile&) = delete;

  enum class Attempt { kTaken, kBusy, kFailed };
  // One attempt that does not wait: kBusy while another holder has it.
  Attempt TryTake(const std::string& lock_path, std::string& reason);
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Whether a new file as large as the profile could be written beside it now:
// a file of bytes bytes is written in its folder, synced and removed. The
// profile itself, when it exists, must be a regular file.
bool TryProfileWrite(const std::string& profile_path, std::size_t bytes, std::string& reason);

// The profile's size now; 0 when it does not exist.
std::size_t ProfileSize(const std::string& profile_path);

// A new empty file in the profile's folder to write the next profile into,
// with the profile's permissions (or the default ones for a new profile).
std::optional<std::string> MakeProfileTempFile(const std::string& profile_path,
                                               std::string& reason);

// The complete temporary file takes the profile's place (the folder synced
// after the rename); on failure it is removed and the profile stays as it was.
bool ReplaceProfile(const std::string& temp_path, const std::string& profile_path,
                    std::string& reason);

void RemoveProfileTempFile(const std::string& temp_path);

}  // namespace fw
