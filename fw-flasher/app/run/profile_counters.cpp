#include "app/run/profile_counters.h"

#include <string_view>

namespace fw {
namespace {

struct SerialKeys {
  std::string_view valid;
  std::string_view value;
};
constexpr std::array<SerialKeys, std::tuple_size_v<StoredSerials>> kSerialKeys = {{
    {profile_keys::kIncValue1Valid, profile_keys::kIncValue1},
    {profile_keys::kIncValue2Valid, profile_keys::kIncValue2},
}};

}  // namespace

StoredSerials ReadStoredSerials(Profile& profile) {
  StoredSerials serials;
  for (std::size_t n = 0; n < serials.size(); ++n) {
    if (profile.ReadInt(kSerialKeys[n].valid, 0) == 0) continue;
    const auto bytes = profile.ReadBytes(kSerialKeys[n].value);
    if (!bytes || bytes->size() != SerialValue::kByteCount) continue;
    serials[n] =
        SerialValue::FromBytesLsbFirst(std::span<const std::uint8_t, SerialValue::kByteCount>(
            bytes->data(), SerialValue::kByteCount));
  }
  return serials;
}

StoredCounters ReadStoredCounters(Profile& profile) {
  StoredCounters counters;
  counters.pass_counter =
      static_cast<std::uint32_t>(profile.ReadInt(profile_keys::kPassCounter, 0));
  counters.serials = ReadStoredSerials(profile);
  return counters;
}

ProfileChanges CounterChanges(std::optional<std::uint32_t> pass_counter,
                              const StoredSerials& serials) {
  ProfileChanges changes;
  if (pass_counter) {
    changes.ints[std::string(profile_keys::kPassCounter)] = static_cast<int>(*pass_counter);
  }
  for (std::size_t n = 0; n < serials.size(); ++n) {
    if (!serials[n]) continue;
    const auto bytes = serials[n]->ToBytesLsbFirst();
    changes.ints[std::string(kSerialKeys[n].valid)] = 1;
    changes.bytes[std::string(kSerialKeys[n].value)] =
        std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  }
  return changes;
}

}  // namespace fw
