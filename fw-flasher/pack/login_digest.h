// The login password as the flasher compares it: the MD5 digest of its GBK
// bytes in 32 lower-case hexadecimal digits.
#pragma once

#include <string>
#include <string_view>

namespace fw {

std::string LoginDigest(std::string_view gbk_bytes);

}  // namespace fw
