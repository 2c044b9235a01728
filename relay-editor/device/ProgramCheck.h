// Which entries of a program can go to the controller. The controller walks its
// sector Instruction by Instruction from the kind bytes, so an entry must hold
// whole Instructions only: an entry one byte short (or long) shifts every later
// Instruction out of its place, and a byte FF inside one, or a filler entry
// before the last Instruction, ends the program there.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "model/InstructionWalk.h"

namespace relay::device {

enum class EntryFault {
  NotHexText,       // its characters are not bytes in their three-character places
  Cut,              // its last Instruction lacks bytes, or it has bytes past its end
  EndInside,        // a byte FF stands where an Instruction starts
  FillerBeforeEnd,  // a filler entry ("无效指令") with an Instruction after it
};

struct EntryProblem {
  std::size_t index = 0;  // counted from 0
  EntryFault fault = EntryFault::NotHexText;
  model::EntryWalk walk;  // for Cut and EndInside
};

// Every entry that cannot be written, in list order.
std::vector<EntryProblem> ProgramProblems(const std::vector<std::string>& hexTexts);
// The first of them; empty when the whole program can be written.
std::optional<EntryProblem> FirstProgramProblem(const std::vector<std::string>& hexTexts);

// The warning that stops a write, naming the entry as the list shows it (from 1).
std::string ProblemMessage(const EntryProblem& problem);
// A short description of what is wrong with the entry, for a listing.
std::string ProblemSummary(const EntryProblem& problem);

}  // namespace relay::device
