#include "cli/download_command.h"

#include <algorithm>
#include <cctype>

#include "cli/detect_command.h"
#include "cli/run_watch.h"
#include "isp/expected_chip.h"
#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "isp/program_image_checks.h"
#include "isp/serial_download.h"
#include "target/chips/chip_table.h"
#include "target/chips/image_file.h"
#include "target/chips/own_byte_areas.h"

namespace fw {
namespace {

constexpr std::size_t kOptionBytes = 32;
constexpr int kImageUnit = 512;
constexpr int kUserKeyBytes = 256;

bool SetPassword(const std::optional<std::string>& text, DownloadPassword& password,
                 const char* what, std::string& error) {
  if (!text) return true;
  if (text->size() > static_cast<std::size_t>(DownloadPassword::kMaxLength)) {
    error = std::string(what) + " is longer than 63 characters";
    return false;
  }
  if (!std::all_of(text->begin(), text->end(),
                   [](unsigned char c) { return c >= 0x20 && c < 0x7F; })) {
    error = std::string(what) + " must be printable ASCII";
    return false;
  }
  std::copy(text->begin(), text->end(), password.bytes.begin());
  password.length = static_cast<int>(text->size());
  return true;
}

// An image file's bytes; the error names the file.
bool ReadFile(const std::string& path, std::size_t capacity, ImageFile& file, std::string& error) {
  file = ReadImageFile(path, capacity);
  if (!file.ok()) {
    error = path + ": " + file.error;
    return false;
  }
  if (file.bytes.empty()) {
    error = path + ": holds no bytes";
    return false;
  }
  return true;
}

// The input a refusal of the image is about, as the command line names it.
std::string InputName(const DownloadCommandOptions& options, ImageInput input) {
  switch (input) {
    case ImageInput::kCode:
      return options.image;
    case ImageInput::kData:
      return options.data;
    case ImageInput::kDataOffset:
      return "--data-offset " + std::to_string(options.data_offset);
  }
  return options.image;
}

// The project's image: the code block at 0, the data block at its offset, the
// length rounded up to whole 512-byte units. Refused, before anything is sent,
// when the chip's download could not program it as given.
bool BuildImage(const DownloadCommandOptions& options, const ChipRecord& chip, IspLink& link,
                std::string& error) {
  std::vector<std::uint8_t>& source = link.image.image_source;
  ImageFile code;
  if (!ReadFile(options.image, source.size(), code, error)) return false;
  std::size_t length = code.bytes.size();
  ImageFile data;
  if (!options.data.empty()) {
    if (options.data_offset < 0) {
      error = "--data needs --data-offset";
      return false;
    }
    if (!ReadFile(options.data, source.size(), data, error)) return false;
    length = static_cast<std::size_t>(options.data_offset) + data.bytes.size();
    if (length > source.size()) {
      error = "the data block at " + std::to_string(options.data_offset) + " ends beyond " +
              std::to_string(source.size()) + " bytes";
      return false;
    }
  }
  ProgramImage image;
  image.code = code.bytes;
  image.data = data.bytes;
  image.data_offset = static_cast<std::uint64_t>(std::max(options.data_offset, 0));
  if (options.option_bytes.size() > kPlacementOptionByte)
    image.option_byte_15 = options.option_bytes[kPlacementOptionByte];
  if (const auto refusal = CheckProgramImage(chip, image, DownloadRoutes::kSerialPort)) {
    error = InputName(options, refusal->input) + ": " + refusal->problem;
    return false;
  }
  length = (length + kImageUnit - 1) / kImageUnit * kImageUnit;
  std::fill_n(source.begin(), length, 0xFF);
  std::copy(code.bytes.begin(), code.bytes.end(), source.begin());
  if (!options.data.empty()) {
    std::copy(data.bytes.begin(), data.bytes.end(), source.begin() + options.data_offset);
  }
  link.image.image_length = static_cast<int>(length);
  return true;
}

bool LoadUserKey(const std::string& path, IspLink& link, std::string& error) {
  if (path.empty()) return true;
  ImageFile key;
  if (!ReadFile(path, kUserKeyBytes, key, error)) return false;
  std::copy(key.bytes.begin(), key.bytes.end(), link.image.user_key.begin());
  link.download.user_key_present = true;
  return true;
}

bool PrepareLink(const DownloadCommandOptions& options, int chip_index, IspLink& link,
                 std::string& error) {
  link.Reinitialise();
  const ChipRecord& chip = ChipTable()[static_cast<std::size_t>(chip_index)];
  ExpectChip(link, chip);
  link.target.chip_index = chip_index;
  std::copy(options.option_bytes.begin(), options.option_bytes.end(),
            link.image.option_bytes.begin());
  link.clock.set_frequency = options.set_frequency;
  link.clock.measured_frequency = AssumedClock(link.image.option_bytes[kAssumedClockOptionByte]);
  link.serial.handshake_baud = options.handshake_baud;
  link.serial.highest_baud = options.highest_baud;
  link.download.program_variant = options.program_variant;
  link.download.silent = options.silent;
  link.download.password_present = options.password || options.new_password;
  return SetPassword(options.password, link.download.password, "--password", error) &&
         SetPassword(options.new_password, link.download.new_password, "--new-password", error) &&
         LoadUserKey(options.user_key, link, error) && BuildImage(options, chip, link, error);
}

}  // namespace

bool ParseOptionBytes(const std::string& text, std::vector<std::uint8_t>& bytes) {
  std::string digits;
  for (const char c : text) {
    if (c == ' ' || c == ',') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits += c;
  }
  if (digits.empty() || digits.size() % 2 != 0 || digits.size() / 2 > kOptionBytes) return false;
  bytes.clear();
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return true;
}

int RunDownload(const DownloadCommandOptions& options, std::FILE* out, SoundSink* sounds,
                const std::atomic<bool>& stop_requested, std::string& error) {
  const int chip_index = FindChipByName(options.chip);
  if (chip_index <= 0) {
    error = "unknown chip " + options.chip;
    return kStepFailedLogged;
  }
  if (options.option_bytes.size() > kOptionBytes) {
    error = "at most 32 option bytes";
    return kStepFailedLogged;
  }
  IspLink link;
  if (!PrepareLink(options, chip_index, link, error)) return kStepFailedLogged;
  link.outputs.echo = out;
  link.outputs.echo_progress = options.show_progress;
  link.outputs.sound_sink = sounds;
  link.outputs.language = options.language;
  link.outputs.quiet_information = options.quiet;

  int result = kStepFailedLogged;
  TermiosPort port;
  if (!port.Open(ResolvePortName(options.port))) {
    LogPortFailure(link, port.error());
  } else {
    link.port = &port;
    {
      link.running = true;
      const RunWatch watch(link, stop_requested, options.timeout_seconds);
      result = DownloadOnOpenPort(link);
    }
    port.Close();
    link.port = nullptr;
    link.running = false;
    ++link.download_count;
  }
  std::fprintf(out, "\n%s\n", ResultLine(result, options.language).c_str());
  std::fflush(out);
  return result;
}

}  // namespace fw
