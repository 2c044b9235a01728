#pragma once
// The Program list: the ordered Instructions that become the controller's
// program, with a single selection and the 512-byte sector capacity.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace relay::model {

struct ProgramEntry {
  int position = 0;         // 1-based, rewritten by Renumber
  std::string listingText;  // derived from hexText when the entry is made
  std::string hexText;
};

// Store modes, numbered as the editors pass them.
enum class StoreMode : int {
  Add = 0,          // "增加": append at the end
  Change = 1,       // "修改": replace the selected entry, no capacity test
  InsertAbove = 2,  // "向上插入"
  InsertBelow = 3,  // "向下插入"
};

class ProgramList {
 public:
  // Adds, changes or inserts an entry. Fails, changing nothing, for an empty
  // text, without a selection in modes Change/InsertAbove/InsertBelow, or when
  // adding or inserting would take the total beyond 512 bytes. The selection
  // stays on the entry that was selected.
  bool Store(std::string_view hexText, StoreMode mode);
  // Same with the mode as the editors' number 0 to 3; other numbers fail.
  bool Store(std::string_view hexText, int mode);

  // Appends an entry with its listing text, not bounded by the capacity
  // (loading a file, reading the device).
  void Append(std::string hexText);
  void AppendAll(const std::vector<std::string>& hexTexts);

  // Rewrites every position and returns the total byte count.
  int Renumber();
  int Total() const;
  // Caption of the second column for the current total.
  std::string CapacityCaption() const;

  // Swap the selected entry with its neighbour; the moved entry stays
  // selected. Nothing happens at the ends or without a selection.
  void MoveUp();
  void MoveDown();
  // Deletes the selected entry and selects the one above it (the new first
  // entry when the first was deleted).
  void DeleteSelected();
  // Removes every entry; nothing is selected.
  void Clear();
  // Deletes entries from the end until the total is 512 or less.
  void TrimToCapacity();

  // Replaces every entry and the selection at once (an undo step going back);
  // positions are rewritten, a selection beyond the end is cleared.
  void Assign(std::vector<ProgramEntry> entries, std::optional<std::size_t> selection);

  // Deletes the entry at `index` (no-op beyond the end). A selection below it
  // moves up with its entry; deleting the selected entry clears the selection.
  void DeleteAt(std::size_t index);
  // Replaces the hex text at `index`, keeping its listing text.
  void ReplaceHexText(std::size_t index, std::string hexText);
  // Deletes every entry for which `remove` is true, in one pass; returns how
  // many. The selection follows its entry, or is cleared when it goes.
  std::size_t RemoveIf(const std::function<bool(const ProgramEntry&)>& remove);

  const std::vector<ProgramEntry>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  std::vector<std::string> HexTexts() const;

  std::optional<std::size_t> Selection() const { return selection_; }
  // Selects the entry at `index`; an index beyond the end (or nullopt)
  // clears the selection.
  void Select(std::optional<std::size_t> index);
  const ProgramEntry* Selected() const;

  // True once the entries have changed (not the selection alone) since the
  // flag was last cleared; the editor clears it after a successful save or
  // load, and asks before it discards a modified program.
  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

  // Called after every change of the entries or the selection, so a view can
  // redraw. One call per operation.
  void SetChangeListener(std::function<void()> listener);
  // Between BeginUpdate and the matching EndUpdate the listener is not
  // called; EndUpdate calls it once if anything changed. Calls nest.
  void BeginUpdate();
  void EndUpdate();

 private:
  void Insert(std::size_t index, std::string_view hexText);
  void Changed();
  void ContentChanged();

  std::vector<ProgramEntry> entries_;
  std::optional<std::size_t> selection_;
  int total_ = 0;
  std::function<void()> listener_;
  int updateDepth_ = 0;
  bool changePending_ = false;
  bool modified_ = false;
};

}  // namespace relay::model
