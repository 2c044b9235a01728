#include "target/chips/image_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <optional>

namespace fw {
namespace {

// Intel HEX record: ':' count, address (2 bytes), type, data, checksum.
constexpr char kRecordMark = ':';
constexpr std::size_t kRecordOverhead = 5;  // count, address, type, checksum
constexpr std::uint8_t kTypeData = 0x00;
constexpr std::uint8_t kTypeEnd = 0x01;
constexpr std::uint8_t kTypeSegmentAddress = 0x02;
constexpr std::uint8_t kTypeLinearAddress = 0x04;
constexpr int kSegmentShift = 4;  // segment * 16
constexpr int kLinearShift = 16;  // upper 16 bits of the address

// A HEX file of the largest image is well under a megabyte; anything far larger
// is not one.
constexpr std::uintmax_t kMaxHexFileSize = 16u << 20;

ImageFile Failed(std::string error) { return ImageFile{{}, std::move(error)}; }

std::string LineError(std::size_t line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

// Upper-case hexadecimal digits, at least `width` of them.
std::string HexDigits(std::uint64_t v, std::size_t width) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), digits[v & 0xF]);
    v >>= 4;
  } while (v != 0);
  while (text.size() < width) text.insert(text.begin(), '0');
  return text;
}

std::string Address(std::uint64_t v) { return "0x" + HexDigits(v, 4); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The record's bytes after the ':', or the reason they cannot be read.
std::optional<std::vector<std::uint8_t>> RecordBytes(std::string_view digits, std::string& error) {
  if (digits.size() % 2 != 0) {
    error = "odd number of hexadecimal digits";
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(digits.size() / 2);
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int high = HexValue(digits[i]);
    const int low = HexValue(digits[i + 1]);
    if (high < 0 || low < 0) {
      error = "'" + std::string(digits.substr(high < 0 ? i : i + 1, 1)) +
              "' is not a hexadecimal digit";
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

class HexImage {
 public:
  explicit HexImage(std::size_t capacity) : capacity_(capacity), filled_(capacity, false) {}

  // Empty on success, else the reason.
  std::string Place(std::uint64_t address, std::span<const std::uint8_t> data) {
    if (data.empty()) return {};
    const std::uint64_t end = address + data.size();
    if (end > capacity_)
      return "address " + Address(end - 1) + " lies beyond the " + std::to_string(capacity_) +
             "-byte image buffer";
    for (std::uint64_t a = address; a < end; ++a)
      if (filled_[a]) return "address " + Address(a) + " is already filled by an earlier record";
    if (end > bytes_.size()) bytes_.resize(end, 0xFF);
    std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(address));
    std::fill(filled_.begin() + static_cast<std::ptrdiff_t>(address),
              filled_.begin() + static_cast<std::ptrdiff_t>(end), true);
    return {};
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::size_t capacity_;
  std::vector<bool> filled_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

ImageFileFormat ImageFileFormatOf(const std::filesystem::path& path) {
  std::string ending = path.extension().string();
  std::transform(ending.begin(), ending.end(), ending.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ending == ".hex" || ending == ".ihx" || ending == ".ihex" ? ImageFileFormat::kIntelHex
                                                                   : ImageFileFormat::kBinary;
}

ImageFile ParseIntelHex(std::string_view text, std::size_t capacity) {
  HexImage image(capacity);
  std::uint64_t base = 0;
  bool ended = false;
  std::size_t line_number = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t newline = std::min(text.find('\n', at), text.size());
    const std::string_view line = TrimRight(text.substr(at, newline - at));
    at = newline + 1;
    ++line_number;
    if (line.empty()) continue;
    if (ended) return Failed(LineError(line_number, "a record follows the end record"));
    if (line.front() != kRecordMark)
      return Failed(LineError(line_number, "the line does not begin with ':'"));
    std::string error;
    const auto bytes = RecordBytes(line.substr(1), error);
    if (!bytes) return Failed(LineError(line_number, error));
    if (bytes->size() < kRecordOverhead || (*bytes)[0] != bytes->size() - kRecordOverhead)
      return Failed(LineError(line_number, "the byte count does not match the record's length"));
    std::uint8_t sum = 0;
    for (std::uint8_t b : *bytes) sum = static_cast<std::uint8_t>(sum + b);
    if (sum != 0) return Failed(LineError(line_number, "wrong checksum"));

    const std::uint32_t offset = static_cast<std::uint32_t>((*bytes)[1] << 8 | (*bytes)[2]);
    const std::uint8_t type = (*bytes)[3];
    const auto data = std::span<const std::uint8_t>(*bytes).subspan(4, (*bytes)[0]);
    switch (type) {
      case kTypeData:
        error = image.Place(base + offset, data);
        if (!error.empty()) return Failed(LineError(line_number, error));
        break;
      case kTypeEnd:
        if (!data.empty()) return Failed(LineError(line_number, "the end record carries data"));
        ended = true;
        break;
      case kTypeSegmentAddress:
      case kTypeLinearAddress:
        if (data.size() != 2)
          return Failed(LineError(line_number, "an address record carries two bytes"));
        base = static_cast<std::uint64_t>(data[0] << 8 | data[1])
               << (type == kTypeSegmentAddress ? kSegmentShift : kLinearShift);
        break;
      default:
        return Failed(LineError(line_number, "record type " + HexDigits(type, 2) +
                                                 " is not supported (00, 01, 02, 04 are)"));
    }
  }
  if (!ended)
    return Failed(LineError(line_number, "the file ends without its end record (type 01)"));
  return ImageFile{image.Take(), {}};
}

ImageFile ReadImageBytes(std::span<const std::uint8_t> bytes, ImageFileFormat format,
                         std::size_t capacity) {
  if (format == ImageFileFormat::kIntelHex)
    return ParseIntelHex(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), capacity);
  if (bytes.size() > capacity)
    return Failed(std::to_string(bytes.size()) + " bytes do not fit the " +
                  std::to_string(capacity) + "-byte image buffer");
  return ImageFile{{bytes.begin(), bytes.end()}, {}};
}

ImageFile ReadImageFile(const std::filesystem::path& path, std::size_t capacity) {
  const ImageFileFormat format = ImageFileFormatOf(path);
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return Failed("cannot read " + path.string() + ": " + ec.message());
  const std::uintmax_t limit = format == ImageFileFormat::kIntelHex ? kMaxHexFileSize : capacity;
  if (size > limit)
    return Failed(path.string() + " is " + std::to_string(size) + " bytes, more than the " +
                  std::to_string(limit) +
                  (format == ImageFileFormat::kIntelHex ? " bytes a HEX file of an image can be"
                                                        : "-byte image buffer holds"));
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return Failed("cannot read " + path.string());
  return ReadImageBytes(bytes, format, capacity);
}

}  // namespace fw
