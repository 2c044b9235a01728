#include "model/Optimiser.h"

#include <optional>
#include <string>

#include "model/Instruction.h"
#include "model/ProgramList.h"

namespace relay::model {
namespace {

bool IsLoop(const ProgramEntry& entry) { return entry.hexText.starts_with("00"); }

// A filler read with trailing blanks counts too: the blanks are stripped
// below, and a second run would otherwise still find a filler to remove.
bool IsFillerEntry(const ProgramEntry& entry) {
  const std::string& text = entry.hexText;
  const std::size_t end = text.find_last_not_of(' ');
  return IsFiller(std::string_view(text).substr(0, end == std::string::npos ? 0 : end + 1));
}

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
  KeepOneLoopAtEnd(list);
  list.RemoveIf(IsFillerEntry);
  StripTrailingBlanks(list);
  list.Renumber();
  list.EndUpdate();
}

}  // namespace relay::model
