// Builds a project from its description: a JSON file that names every setting
// the project data carries, and the image files it refers to.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/project/project.h"
#include "app/run/secret_input.h"
#include "pack/json_fields.h"

namespace fw {

struct ProjectDescription {
  Project project;
  std::vector<std::string> warnings;
};

// Reads the description and the files it names (relative to its folder), asks
// `secrets` for the passwords it says to ask for, and checks every value against
// the chip and the flasher's buffers. Throws FieldError naming the first field
// it refuses.
ProjectDescription ReadProjectDescription(const std::filesystem::path& json_file,
                                          SecretInput& secrets);
ProjectDescription ProjectFromJson(const Json& json, const std::filesystem::path& base_dir,
                                   SecretInput& secrets);

}  // namespace fw
