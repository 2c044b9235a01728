// The project's choices for one download that the steps read: run mode, sounds,
// program command, user key, passwords and the option block's extra value.
#pragma once

#include <array>
#include <cstdint>

namespace fw {

// A download password as the boot loader takes it: its ASCII bytes.
struct DownloadPassword {
  static constexpr int kMaxLength = 63;
  std::array<std::uint8_t, kMaxLength> bytes{};
  int length = 0;
};

struct DownloadSettings {
  // 2 one download, 3 repeated downloads, 4 the download board's own operation.
  static constexpr int kRunModeOnce = 2;
  static constexpr int kRunModeRepeat = 3;
  static constexpr int kRunModeBoard = 4;
  int run_mode = kRunModeOnce;
  // No sounds, and no result signal to a download board.
  bool silent = false;
  // The newer sequence programs with command 0x82 instead of 0x02.
  bool program_variant = false;
  // The image buffers' user key is the project's and is written.
  bool user_key_present = false;
  // Only its low byte reaches the option block.
  int option_extra_value = 0;
  // The project gives passwords: the current one (sent before the erase) and
  // the new one (written with the options).
  bool password_present = false;
  DownloadPassword password;
  DownloadPassword new_password;
};

}  // namespace fw
