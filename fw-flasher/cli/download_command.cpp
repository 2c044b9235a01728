#include "cli/download_command.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>

#include "app/run/download_request_builder.h"
#include "cli/detect_command.h"
#include "cli/run_watch.h"
#include "isp/link/image_buffers.h"
#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "isp/program_image_checks.h"
#include "isp/serial_download.h"
#include "target/chips/chip_table.h"
#include "target/chips/image_file.h"
#include "target/chips/own_byte_areas.h"

namespace fw {
namespace {

constexpr std::size_t kOptionBytes = DownloadRequest::kOptionBytes;
constexpr std::size_t kUserKeyBytes = 256;

// A password as the command line gives it: at most 63 printable ASCII characters.
bool CheckPassword(const std::optional<std::string>& text, const char* what, std::string& error) {
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

// The code and data blocks of the project, refused before anything is sent
// when the chip's download could not program them as given.
bool ReadBlocks(const DownloadCommandOptions& options, const ChipRecord& chip, Project& project,
                std::string& error) {
  constexpr std::size_t capacity = ImageBuffers::kImageSourceSize;
  ImageFile code;
  if (!ReadFile(options.image, capacity, code, error)) return false;
  ImageFile data;
  if (!options.data.empty()) {
    if (options.data_offset < 0) {
      error = "--data needs --data-offset";
      return false;
    }
    if (!ReadFile(options.data, capacity, data, error)) return false;
    if (static_cast<std::size_t>(options.data_offset) + data.bytes.size() > capacity) {
      error = "the data block at " + std::to_string(options.data_offset) + " ends beyond " +
              std::to_string(capacity) + " bytes";
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
  project.code_block = std::move(code.bytes);
  if (!options.data.empty()) {
    project.data_block = std::move(data.bytes);
    project.data_offset = options.data_offset;
  }
  return true;
}

bool ReadUserKey(const std::string& path, Project& project, std::string& error) {
  if (path.empty()) return true;
  ImageFile key;
  if (!ReadFile(path, kUserKeyBytes, key, error)) return false;
  project.user_key = std::move(key.bytes);
  return true;
}

// The command line as the project of a flasher that downloads it: its chip
// (named as the chip table names it), image, user key, passwords and flags.
bool ProjectOfCommandLine(const DownloadCommandOptions& options, int chip_index, Project& project,
                          std::string& error) {
  const ChipRecord& chip = ChipTable()[static_cast<std::size_t>(chip_index)];
  project.chip_index = chip_index;
  project.strings.resize(static_cast<std::size_t>(ProjectStringId::kChipName) + 1);
  project.strings[static_cast<std::size_t>(ProjectStringId::kChipName)] = chip.name;
  project.set_frequency = options.set_frequency;
  project.program_variant = options.program_variant;
  project.silent = options.silent;
  project.current_download_password = options.password;
  project.new_download_password = options.new_password;
  return CheckPassword(options.password, "--password", error) &&
         CheckPassword(options.new_password, "--new-password", error) &&
         ReadUserKey(options.user_key, project, error) && ReadBlocks(options, chip, project, error);
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

std::optional<DownloadRequest> BuildCommandLineRequest(const DownloadCommandOptions& options,
                                                       std::string& error) {
  const int chip_index = FindChipByName(options.chip);
  if (chip_index <= 0) {
    error = "unknown chip " + options.chip;
    return std::nullopt;
  }
  if (options.option_bytes.size() > kOptionBytes) {
    error = "at most 32 option bytes";
    return std::nullopt;
  }
  Project project;
  if (!ProjectOfCommandLine(options, chip_index, project, error)) return std::nullopt;
  RunChoices choices;
  choices.language = options.language;
  choices.handshake_baud = options.handshake_baud;
  choices.highest_baud = options.highest_baud;
  choices.quiet_information = options.quiet;
  DownloadRequest request = BuildDownloadRequest(project, choices);
  // The option bytes are the command line's from byte 0; the rest keep 0xFF.
  std::fill(request.option_bytes.begin(), request.option_bytes.end(), 0xFF);
  std::copy(options.option_bytes.begin(), options.option_bytes.end(), request.option_bytes.begin());
  return request;
}

int RunDownload(const DownloadCommandOptions& options, std::FILE* out, SoundSink* sounds,
                const std::atomic<bool>& stop_requested, std::string& error) {
  std::optional<DownloadRequest> request = BuildCommandLineRequest(options, error);
  if (!request) return kStepFailedLogged;
  IspLink link;
  link.Reinitialise(std::move(*request));
  link.outputs.echo = out;
  link.outputs.echo_progress = options.show_progress;
  link.outputs.sound_sink = sounds;

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
