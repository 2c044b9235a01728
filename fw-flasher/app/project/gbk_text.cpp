#include "app/project/gbk_text.h"

#include <iconv.h>

#include <cerrno>

namespace fw {
namespace {

constexpr const char* kGbk = "CP936";
constexpr const char* kUtf8 = "UTF-8";

// Stray bytes (never ASCII, which GBK always holds) travel as U+F780..U+F7FF,
// whose UTF-8 form is EF 9E 80 .. EF 9F BF.
constexpr char32_t kStrayByteBase = 0xF780;
constexpr std::size_t kStrayCharLength = 3;

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of `in` as it can; returns the number of bytes consumed
  // (all of them unless a sequence is invalid or cut off).
  std::size_t Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in_ptr = const_cast<char*>(in.data());
    std::size_t in_left = in.size();
    char buffer[256];
    for (;;) {
      char* out_ptr = buffer;
      std::size_t out_left = sizeof buffer;
      const std::size_t rc = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
      if (rc != static_cast<std::size_t>(-1) || errno != E2BIG) break;
    }
    return in.size() - in_left;
  }

 private:
  iconv_t cd_;
};

void AppendStrayByte(std::string& utf8, unsigned char byte) {
  const char32_t c = kStrayByteBase + (byte - 0x80u);
  utf8 += static_cast<char>(0xE0 | (c >> 12));
  utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  utf8 += static_cast<char>(0x80 | (c & 0x3F));
}

// The byte a stray-byte character at the start of `s` stands for, if it is one.
std::optional<char> StrayByteAt(std::string_view s) {
  if (s.size() < kStrayCharLength) return std::nullopt;
  const auto b0 = static_cast<unsigned char>(s[0]);
  const auto b1 = static_cast<unsigned char>(s[1]);
  const auto b2 = static_cast<unsigned char>(s[2]);
  if (b0 != 0xEF || (b1 != 0x9E && b1 != 0x9F) || (b2 & 0xC0) != 0x80) return std::nullopt;
  const char32_t c = (char32_t{b1} & 0x3F) << 6 | (char32_t{b2} & 0x3F) | 0xF000;
  if (c < kStrayByteBase) return std::nullopt;
  return static_cast<char>(0x80 + (c - kStrayByteBase));
}

}  // namespace

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
  Iconv converter(kGbk, kUtf8);
  if (!converter.ok()) return std::nullopt;
  std::string gbk;
  std::size_t at = 0;
  while (at < utf8.size()) {
    // The text up to the next stray-byte character converts as a whole.
    std::size_t next = at;
    while (next < utf8.size() && !StrayByteAt(utf8.substr(next))) ++next;
    const std::string_view piece = utf8.substr(at, next - at);
    if (converter.Convert(piece, gbk) != piece.size()) return std::nullopt;
    if (next < utf8.size()) {
      gbk += *StrayByteAt(utf8.substr(next));
      next += kStrayCharLength;
    }
    at = next;
  }
  return gbk;
}

std::string GbkToUtf8(std::string_view gbk) {
  Iconv converter(kUtf8, kGbk);
  std::string utf8;
  std::size_t at = 0;
  while (at < gbk.size()) {
    at += converter.ok() ? converter.Convert(gbk.substr(at), utf8) : 0;
    if (at >= gbk.size()) break;
    const auto byte = static_cast<unsigned char>(gbk[at++]);
    if (byte < 0x80)
      utf8 += static_cast<char>(byte);  // only when the converter is missing
    else
      AppendStrayByte(utf8, byte);
  }
  return utf8;
}

}  // namespace fw
