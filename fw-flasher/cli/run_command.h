// fw-flash run: the operator's mode without a window. The project a flasher
// carries (or one named) is downloaded through a port once, or again and again,
// with the serial numbers and the pass counter kept in the profile the dialog
// shares.
#pragma once

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/terminal_io.h"

namespace fw {

class SecretInput;
class SoundSink;

struct RunCommandOptions {
  std::string project;          // empty: the project appended to this program
  std::string port;             // empty: the port the profile or the project names
  bool repeat = false;          // run mode 3
  bool board_program = false;   // run mode 4: the download board programmed for stand-alone use
  std::optional<int> language;  // empty: the project's
  FixedAnswer answer = FixedAnswer::kAsk;
  bool quiet = false;
  std::string password_file;  // empty: the login password is typed
  bool show_progress = false;
  bool serial_wrap = false;  // a full serial number keeps its low bytes
};

// Loads the project, asks for the login password when the project needs one,
// runs the downloads with the log on out and ends with the result line and the
// passes of this run and in total. stop_requested is the stop button; after
// the login Ctrl-C and termination requests set it (before, they end the
// program as usual, with the terminal's echo back on). Returns
// the exit status: that of the last download's result (ExitStatusOf), or
// kExitOtherFailure when the project does not load or the login fails (the
// message is on standard error then), and when the run stopped on the profile
// or a full serial number (its message closes the log, without a result line).
int RunProject(const RunCommandOptions& options, std::FILE* out, SecretInput& secrets,
               SoundSink* sounds, std::atomic<bool>& stop_requested);

}  // namespace fw
