// fw-flash download: one download of an image file into the chip on a port.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "isp/link/download_request.h"

namespace fw {

class SoundSink;

struct DownloadCommandOptions {
  std::string port;
  std::string chip;
  std::string image;     // .bin (placed at 0) or Intel HEX
  std::string data;      // optional data block
  int data_offset = -1;  // where the data block goes; needed with data
  int handshake_baud = 2400;
  int highest_baud = 115200;
  int set_frequency = 11059200;  // Hz
  // Option bytes from byte 0; the rest keep 0xFF.
  std::vector<std::uint8_t> option_bytes;
  std::string user_key;  // file of at most 256 bytes
  std::optional<std::string> password;
  std::optional<std::string> new_password;
  bool program_variant = false;
  int language = 0;  // 1 Chinese
  bool quiet = false;
  bool silent = false;
  bool show_progress = false;  // progress that redraws itself, for a terminal
  double timeout_seconds = 0;  // 0: none
};

// The request of the download the command line asks for, built as a project's
// is (the code at 0, the data block at its offset, the length raised to a
// multiple of 512), with the command line's option bytes and rates. Empty with
// error set when an option or a file is refused.
std::optional<DownloadRequest> BuildCommandLineRequest(const DownloadCommandOptions& options,
                                                       std::string& error);

// Builds the request, opens the port and runs one download with the log
// written to out (LF line ends) and the result line last. Returns the download's result.
// kStepFailedLogged with error set when an option or a file is refused (nothing is written to out
// then); a port that does not open is logged as the flasher logs it.
int RunDownload(const DownloadCommandOptions& options, std::FILE* out, SoundSink* sounds,
                const std::atomic<bool>& stop_requested, std::string& error);

// "0A 1b,ff" or "0a1bff": at most 32 option bytes. False for anything else.
bool ParseOptionBytes(const std::string& text, std::vector<std::uint8_t>& bytes);

}  // namespace fw
