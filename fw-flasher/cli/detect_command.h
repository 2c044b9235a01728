// fw-flash detect: synchronise with the boot loader on a port and report the chip.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

namespace fw {

class YesNoQuestion;

struct DetectOptions {
  std::string port;
  std::string chip;  // empty: any chip in the table is accepted
  int baud = 2400;
  int language = 0;  // 1 Chinese
  bool quiet = false;
  double timeout_seconds = 0;  // 0: none
  int sync_burst = 1;
};

// Runs the handshake and the identification as a download would, with the log
// echoed to out (LF line ends) and the result line last. Returns the step result
// of the first step that did not succeed (kStepOk when the chip was identified);
// kStepFailedLogged with error set when the chip name is unknown or the port does
// not open (nothing is written to out then). stop_requested is polled; when it
// becomes true, or the time-out passes, the running flag is cleared.
int RunDetect(const DetectOptions& options, std::FILE* out, YesNoQuestion* question,
              const std::atomic<bool>& stop_requested, std::string& error);

// "Step result: 4 (wrong chip type)", the words in the given language.
std::string ResultLine(int step_result, int language);

// Every other failure: the port does not open, an unknown chip name, a bad
// command line, a step that failed with its own message (the port gone, a board
// that was updated).
constexpr int kExitOtherFailure = 10;

// Exit status for a step result: 0 for success, the result itself for 1 to 5,
// kExitOtherFailure for anything else.
int ExitStatusOf(int step_result);

}  // namespace fw
