// What a flasher or block carries, written as a project description: the same
// JSON that fw-pack reads, with the images inline and every password masked as
// {"prompt": true}, so that packing it (and typing the passwords) gives the same
// block again.
#pragma once

#include "app/project/project.h"
#include "pack/json_fields.h"

namespace fw {

Json ProjectToJson(const Project& project);

}  // namespace fw
