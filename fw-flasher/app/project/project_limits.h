// The limits a loaded project must keep: values that later index the link's
// buffers are checked here, once, rather than where they are used.
#pragma once

#include <string>

#include "app/project/project.h"

namespace fw {

// Returns why the project must be refused (empty when it is accepted). Cuts the
// values that are cut rather than refused: the user-interface reply to 2,048
// bytes and to its area below 65,536, its first and second bytes to 32 and 31.
std::string ApplyLoadLimits(Project& project);

}  // namespace fw
