// The login password as the flasher compares it: the MD5 digest of its GBK
// bytes in 32 lower-case hexadecimal digits.
#pragma once

#include <string>
#include <string_view>

#include "app/project/project.h"

namespace fw {

std::string LoginDigest(std::string_view gbk_bytes);

// Whether the typed text (UTF-8) is the project's login password: the digest
// of its GBK bytes equals project string 17 exactly. An empty text is compared
// like any other; a text with a character GBK lacks matches no digest.
bool LoginMatches(const Project& project, std::string_view typed_utf8);

}  // namespace fw
