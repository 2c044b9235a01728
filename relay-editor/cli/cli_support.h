#pragma once
// What the commands of relay-cli share: exit codes, the refusal exception and
// the parsing of option values into model values.

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/Instruction.h"

namespace relay::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;  // input refused; message on stderr
inline constexpr int kExitUsage = 2;    // unknown option or command

// Thrown by a command that refuses its input; main prints the message and
// exits with kExitRefused.
class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the commands write their results (stdout) and notes (stderr).
struct Streams {
  std::ostream& out;
  std::ostream& err;
};

// "open", "close" or "toggle"; an empty text is no action.
model::Action ParseAction(std::string_view text);
// "1,16", "1-4,9"; blanks allowed. Refused for anything but channels 1 to 16.
model::ChannelSet ParseChannels(std::string_view text);
// A decimal number within [min, max]; `what` names the field in the message.
int ParseNumber(std::string_view text, int min, int max, std::string_view what);

}  // namespace relay::cli
