#include "model/GbkText.h"

#include <iconv.h>

#include <cerrno>

namespace relay::model {
namespace {

constexpr const char* kGbk = "CP936";
constexpr const char* kUtf8 = "UTF-8";

// One conversion descriptor per call keeps the helpers free of shared state.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `in`; on a byte sequence it cannot convert calls
  // `onInvalid(out, byte)` with its first byte and skips that byte, or stops
  // when it returns false.
  template <typename OnInvalid>
  bool Convert(std::string_view in, std::string& out, OnInvalid&& onInvalid) {
    if (!valid()) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a truncated sequence at the end).
      if (!onInvalid(out, static_cast<unsigned char>(*inPtr))) return false;
      ++inPtr;
      --inLeft;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    return true;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence starting at `s` (1 for an invalid lead byte).
std::size_t Utf8SequenceLength(std::string_view s) {
  const unsigned char c = static_cast<unsigned char>(s[0]);
  std::size_t n = c < 0x80           ? 1
                  : (c >> 5) == 0x6  ? 2
                  : (c >> 4) == 0xE  ? 3
                  : (c >> 3) == 0x1E ? 4
                                     : 1;
  if (n > s.size()) return 1;
  for (std::size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  return n;
}

// A byte that is no GBK character travels through UTF-8 as one of 128
// private-use characters, U+F780 + (byte - 0x80), so that text read from a
// file is written back with the same bytes. Every such byte is 0x80 or more:
// ASCII is always valid GBK.
constexpr char32_t kRawByteBase = 0xF780;

void AppendRawByte(std::string& utf8, unsigned char byte) {
  const char32_t c = kRawByteBase + (byte - 0x80u);
  utf8 += static_cast<char>(0xE0 | (c >> 12));
  utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  utf8 += static_cast<char>(0x80 | (c & 0x3F));
}

// The byte a raw-byte character stands for, or nothing.
std::optional<char> RawByteOf(std::string_view sequence) {
  if (sequence.size() != 3) return std::nullopt;
  const auto b0 = static_cast<unsigned char>(sequence[0]);
  const auto b1 = static_cast<unsigned char>(sequence[1]);
  const auto b2 = static_cast<unsigned char>(sequence[2]);
  if (b0 != 0xEF || (b1 != 0x9E && b1 != 0x9F)) return std::nullopt;
  const char32_t c = ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
  if (c < kRawByteBase) return std::nullopt;
  return static_cast<char>(0x80 + (c - kRawByteBase));
}

}  // namespace

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
  std::string out;
  Converter converter(kGbk, kUtf8);
  if (!converter.Convert(utf8, out, [](std::string&, unsigned char) { return false; }))
    return std::nullopt;
  return out;
}

std::string Utf8ToGbkLossy(std::string_view utf8) {
  // Convert character by character so that one unrepresentable character
  // becomes exactly one '?'.
  std::string out;
  Converter converter(kGbk, kUtf8);
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::size_t n = Utf8SequenceLength(utf8.substr(i));
    std::string piece;
    if (const auto raw = RawByteOf(utf8.substr(i, n)))
      out += *raw;
    else if (converter.Convert(utf8.substr(i, n), piece,
                               [](std::string&, unsigned char) { return false; }))
      out += piece;
    else
      out += '?';
    i += n;
  }
  return out;
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
  std::string out;
  Converter converter(kUtf8, kGbk);
  if (!converter.Convert(gbk, out, [](std::string&, unsigned char) { return false; }))
    return std::nullopt;
  return out;
}

std::string GbkToUtf8Lossy(std::string_view gbk) {
  std::string out;
  Converter converter(kUtf8, kGbk);
  converter.Convert(gbk, out, [](std::string& o, unsigned char) {
    o += "\xEF\xBF\xBD";
    return true;
  });
  return out;
}

std::string GbkToUtf8Reversible(std::string_view gbk) {
  std::string out;
  Converter converter(kUtf8, kGbk);
  converter.Convert(gbk, out, [](std::string& o, unsigned char byte) {
    AppendRawByte(o, byte);
    return true;
  });
  return out;
}

}  // namespace relay::model
