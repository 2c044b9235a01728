// Faults a simulated chip can be told to show, so that the flasher's handling
// of each can be tested.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

namespace fw::sim {

// The exchanges of a download, as the chip sees them.
enum class SimStep {
  kPrepare,      // 50 ... 36 01 id (protocol variants 1, 2)
  kBaud,         // the switch command and its confirmation
  kBaudCheck,    // 80 ... 36 01 id after a switch (protocol variant 0)
  kPassword,     // 05 before the erase
  kErase,        // 84 or 03
  kUserKey,      // 26 / 06
  kBlock,        // a program block
  kRecord,       // an extra data record
  kClose,        // 69 ... 36 01 id (protocol variants 1, 2)
  kOptions,      // the option write (and 50 after it on protocol variant 0)
  kNewPassword,  // 07
  kMeasure,      // a clock measurement
};

// The step's name on the command line ("erase", "block", ...), and back.
const char* StepName(SimStep step);
std::optional<SimStep> StepNamed(const std::string& name);

struct SimFaults {
  // Protocol variants 0-2: block number (counted from 1) -> how many times the
  // chip asks for it again before it takes it.
  std::map<int, int> resend_requests;
  // Protocol variant 0: how many times the option write is answered 81.
  int option_resends = 0;
  // Block number whose reply carries a wrong check (block sum or 54); 0 = none.
  int wrong_reply_block = 0;
  // The chip answers this step and then nothing until the next synchronisation.
  std::optional<SimStep> silent_after;
  int silent_after_block = 0;  // with kBlock: after this block number (0: the first)
  // Replies to these steps carry their reply code only.
  std::set<SimStep> short_replies;
};

// "block:3" or "erase": the step after which the chip falls silent.
bool ParseSilentAfter(const std::string& text, SimFaults& faults);
// "4" or "4:20": block 4 asked for again once (or 20 times).
bool ParseResend(const std::string& text, SimFaults& faults);

}  // namespace fw::sim
