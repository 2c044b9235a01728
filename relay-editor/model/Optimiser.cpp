#include "model/Optimiser.h"

#include <optional>
#include <string>

#include "model/Instruction.h"
#include "model/ProgramList.h"

namespace relay::model {
namespace {

bool IsLoop(const ProgramEntry& entry) { return entry.hexText.starts_with("00"); }

void KeepOneLoopAtEnd(ProgramList& list) {
  std::optional<std::string> lastLoop;
  for (const ProgramEntry& entry : list.Entries())
    if (IsLoop(entry)) lastLoop = entry.hexText;
  if (!lastLoop) {
    // Only when the end loop fits; otherwise the list stays without a loop.
    list.Store(kEndLoop, StoreMode::Add);
    return;
  }
  list.RemoveIf(IsLoop);
  // The loop was in the list already, so it goes back even when the list is
  // over the sector capacity (a loaded file); adding it with the capacity
  // test would lose it there.
  list.Append(std::move(*lastLoop));
}

void StripTrailingBlanks(ProgramList& list) {
  for (std::size_t i = 0; i < list.Size(); ++i) {
    const std::string& text = list.Entries()[i].hexText;
    const std::size_t end = text.find_last_not_of(' ');
    const std::size_t keep = end == std::string::npos ? 0 : end + 1;
    if (keep < text.size()) list.ReplaceHexText(i, text.substr(0, keep));
  }
}

}  // namespace

void Optimise(ProgramList& list) {
  list.BeginUpdate();
  // Blanks and fillers go first, so that the room they free counts when the
  // end loop is added and a second run finds nothing more to do: a filler
  // read with a trailing blank is still a filler, and several trailing blanks
  // that count as a byte no longer keep the end loop out.
  StripTrailingBlanks(list);
  list.RemoveIf([](const ProgramEntry& entry) { return IsFiller(entry.hexText); });
  KeepOneLoopAtEnd(list);
  list.Renumber();
  list.EndUpdate();
}

}  // namespace relay::model
