// The application's profile: section "Settings" of a store that survives the
// program and is shared by the dialog and fw-flash of the same application
// name (pass counter, serial numbers, the preferred port).
#pragma once

#include <cstdint>
#include <optional>
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

class Profile {
 public:
  virtual ~Profile() = default;
  // The stored int, or fallback when the key is absent or holds no number.
  virtual int ReadInt(std::string_view key, int fallback) = 0;
  virtual void WriteInt(std::string_view key, int value) = 0;
  // The stored bytes; empty optional when the key is absent.
  virtual std::optional<std::vector<std::uint8_t>> ReadBytes(std::string_view key) = 0;
  virtual void WriteBytes(std::string_view key, const std::vector<std::uint8_t>& bytes) = 0;
};

}  // namespace fw
