// Reads the project data's record container (unscrambled) into a Project.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/project.h"

namespace fw {

struct ProjectParseResult {
  std::optional<Project> project;
  std::string refusal;  // why the data was refused (message 4001), when it was
};

// Checks the magic, reads the records until the end record or the first damaged
// one (what was read before stays in effect), then refuses values that would
// later index outside a buffer and cuts those that are cut rather than refused.
ProjectParseResult ParseProjectContainer(std::span<const std::uint8_t> container);

// Reads the records that follow the magic into `project`; the stop rules only,
// no checks of the values. Returns the offset where reading stopped.
std::size_t ReadProjectRecords(std::span<const std::uint8_t> container, Project& project);

// Index of the first chip table record whose id or alternate id is `chip_id`
// and whose sub-model is `sub_model`; 0 (the placeholder) when none is.
int ChipIndexForIdentity(int chip_id, int sub_model);

}  // namespace fw
