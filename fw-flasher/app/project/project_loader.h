// Finds, checks, unscrambles and parses the project a flasher carries, or one
// named on the command line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "app/project/project.h"
#include "messages/message_id.h"

namespace fw {

// The start-up errors; both end the program:
//   kMsgFileVerificationFailed (4000): no trailer, a damaged trailer or a bad CRC;
//   kMsgFileDamaged (4001): a wrong magic, or values outside their buffers.
struct ProjectLoadResult {
  std::optional<Project> project;
  int message_id = 0;  // one of the two above when refused
  std::string reason;  // what exactly was wrong, for logs and fw-pack
};

// The project appended to this program's own executable.
ProjectLoadResult LoadOwnProject();

// A program file that must carry a project behind it.
ProjectLoadResult LoadProjectFromProgram(const std::filesystem::path& program);

// A project file given by the user: a program that carries a project, or a bare
// block (unscrambled when it begins with the container's magic, else scrambled).
ProjectLoadResult LoadProjectFile(const std::filesystem::path& file);

// A block in its stored, scrambled form.
ProjectLoadResult LoadStoredBlock(std::span<const std::uint8_t> stored);

// A bare block: unscrambled when it begins with the container's magic, else
// scrambled (the scrambled form never begins with the magic).
ProjectLoadResult LoadBareBlock(std::span<const std::uint8_t> bytes);

}  // namespace fw
