// Files fw-pack reads and writes whole.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw {

// Empty optional, with `error` set, when the file cannot be read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path,
                                                       std::string& error);

// Writes a temporary file beside `path`, gives it `mode` and renames it over
// `path`, so that a reader never sees half a file. Returns the error, or empty.
// A `path` that exists and is no regular file (a FIFO, a device, a folder) is
// refused and left as it is.
std::string WriteFileReplacing(const std::filesystem::path& path,
                               std::span<const std::uint8_t> bytes, mode_t mode);

// The flasher program a flasher is made from when no template is named: fw-flash
// beside fw-pack, or in the build tree's cli folder. Empty when there is none.
std::filesystem::path DefaultFlasherTemplate();

}  // namespace fw
