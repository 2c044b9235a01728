#pragma once
// Project files as relay-cli reads them: only a file whose every line is an
// Instruction's hex text is a program; anything else (a binary file, a text of
// another kind) is refused before it is listed, rewritten or sent.

#include <string>

#include "cli_support.h"
#include "model/ProgramList.h"

namespace relay::cli {

// The file's entries. Throws Refused naming the file and the reason when it
// cannot be read or when a line is not hex text (naming the line).
model::ProgramList LoadProgram(const std::string& path);

// A program as write sends it: loaded, optimised when asked, every entry whole
// Instructions with no filler before the last one (refused naming the entry
// otherwise), and within the sector capacity: trimmed as the editor trims
// (saying on `notes` what was left out) when `trim` is set, refused otherwise.
model::ProgramList LoadProgramToWrite(const std::string& path, bool optimise, bool trim,
                                      std::ostream& notes);
// The same for verify, which compares the sector with what such a write would send:
// entries a write refuses are warned about on `notes` instead of refused.
model::ProgramList LoadProgramToCompare(const std::string& path, bool optimise, bool trim,
                                        std::ostream& notes);

}  // namespace relay::cli
