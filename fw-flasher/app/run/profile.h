// The application's profile: section "Settings" of a store that survives the
// program and is shared by the dialog and fw-flash of the same application
// name (pass counter, serial numbers, the preferred port). Every program of the
// profile reads, advances and writes its counters under the profile's lock, so
// that two programs never take the same serial number.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// The keys of section "Settings".
namespace profile_keys {
constexpr std::string_view kPassCounter = "PassCounter";
constexpr std::string_view kIncValue1Valid = "IncValue1Valid";
constexpr std::string_view kIncValue1 = "IncValue1";
constexpr std::string_view kIncValue2Valid = "IncValue2Valid";
constexpr std::string_view kIncValue2 = "IncValue2";
constexpr std::string_view kMainComx = "Main_COMx";
}  // namespace profile_keys

// Values to write into section "Settings"; the profile's other keys stay.
struct ProfileChanges {
  std::map<std::string, int, std::less<>> ints;
  std::map<std::string, std::vector<std::uint8_t>, std::less<>> bytes;
  // UTF-8 text; an empty text removes the key.
  std::map<std::string, std::string, std::less<>> texts;
};

enum class ProfileLockResult {
  kTaken,
  kGaveUp,  // the caller stopped waiting while another program held the lock
  kFailed,  // the lock file cannot be had: the reason says why
};

class Profile {
 public:
  virtual ~Profile() = default;
  // The stored int as it is on disk now, or fallback when the key is absent or
  // holds no number.
  virtual int ReadInt(std::string_view key, int fallback) = 0;
  // The stored bytes as they are on disk now; empty optional when the key is
  // absent.
  virtual std::optional<std::vector<std::uint8_t>> ReadBytes(std::string_view key) = 0;
  // The stored UTF-8 text as it is on disk now; empty optional when the key is
  // absent.
  virtual std::optional<std::string> ReadText(std::string_view key) = 0;

  // The exclusive lock that every program of this profile holds while it
  // reads, advances and writes the counters. While another program holds it,
  // keep_waiting is asked about every 50 ms whether to go on waiting.
  virtual ProfileLockResult Lock(const std::function<bool()>& keep_waiting,
                                 std::string& reason) = 0;
  virtual void Unlock() = 0;

  // Whether a write can succeed now; false with the system's reason.
  virtual bool CheckWritable(std::string& reason) = 0;
  // Writes the changes: the profile is replaced whole or left as it was. False
  // with the system's reason when it was not written.
  virtual bool Write(const ProfileChanges& changes, std::string& reason) = 0;

  // The profile's file, as messages name it.
  virtual std::string Location() const = 0;
};

}  // namespace fw
