// The counters a download takes from the profile and gives back: the pass
// counter and the two serial values, read under the profile's lock and written
// together in one write.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "app/project/serial_value.h"
#include "app/run/profile.h"

namespace fw {

// The serial values the profile holds, by number (0 and 1); none where no
// valid value is stored.
using StoredSerials = std::array<std::optional<SerialValue>, 2>;

struct StoredCounters {
  std::uint32_t pass_counter = 0;
  StoredSerials serials;
};

// As stored now: the pass counter (0 when absent), and each serial value whose
// valid flag is set and that holds exactly 16 bytes.
StoredCounters ReadStoredCounters(Profile& profile);
StoredSerials ReadStoredSerials(Profile& profile);

// The changes that store the pass counter (when given) and each serial value
// given, with its valid flag.
ProfileChanges CounterChanges(std::optional<std::uint32_t> pass_counter,
                              const StoredSerials& serials);

}  // namespace fw
