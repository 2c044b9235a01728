#include "model/ProgramList.h"

#include <cstdint>
#include <utility>

#include "model/HexText.h"
#include "model/Instruction.h"
#include "model/ListSetup.h"
#include "model/ListingText.h"

namespace relay::model {

bool ProgramList::Store(std::string_view hexText, StoreMode mode) {
  if (hexText.empty()) return false;
  const int total = Renumber();
  const bool fits = total + static_cast<long long>(ByteCount(hexText)) <= kSectorCapacity;
  bool stored = false;
  switch (mode) {
    case StoreMode::Add:
      if (fits) {
        Insert(entries_.size(), hexText);
        stored = true;
      }
      break;
    case StoreMode::Change:
      if (selection_) {
        ProgramEntry& entry = entries_[*selection_];
        entry.hexText = std::string(hexText);
        entry.listingText = ListingText(hexText);
        stored = true;
      }
      break;
    case StoreMode::InsertAbove:
      if (selection_ && fits) {
        Insert(*selection_, hexText);
        stored = true;
      }
      break;
    case StoreMode::InsertBelow:
      if (selection_ && fits) {
        Insert(*selection_ + 1, hexText);
        stored = true;
      }
      break;
  }
  Renumber();
  if (stored) ContentChanged();
  return stored;
}

bool ProgramList::Store(std::string_view hexText, int mode) {
  if (mode < 0 || mode > 3) return false;
  return Store(hexText, static_cast<StoreMode>(mode));
}

void ProgramList::Insert(std::size_t index, std::string_view hexText) {
  ProgramEntry entry;
  entry.hexText = std::string(hexText);
  entry.listingText = ListingText(hexText);
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(index), std::move(entry));
  if (selection_ && *selection_ >= index) ++*selection_;
}

void ProgramList::Append(std::string hexText) {
  ProgramEntry entry;
  entry.listingText = ListingText(hexText);
  entry.hexText = std::move(hexText);
  entries_.push_back(std::move(entry));
  Renumber();
  ContentChanged();
}

void ProgramList::AppendAll(const std::vector<std::string>& hexTexts) {
  entries_.reserve(entries_.size() + hexTexts.size());
  for (const std::string& text : hexTexts) {
    ProgramEntry entry;
    entry.listingText = ListingText(text);
    entry.hexText = text;
    entries_.push_back(std::move(entry));
  }
  Renumber();
  ContentChanged();
}

int ProgramList::Renumber() {
  long long total = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    entries_[i].position = static_cast<int>(i + 1);
    total += static_cast<long long>(ByteCount(entries_[i].hexText));
  }
  // A project file is at most 1 MiB, so the total stays far below INT_MAX;
  // clamp all the same rather than wrap.
  total_ = total > INT32_MAX ? INT32_MAX : static_cast<int>(total);
  return total_;
}

int ProgramList::Total() const { return total_; }

std::string ProgramList::CapacityCaption() const { return model::CapacityCaption(total_); }

void ProgramList::MoveUp() {
  if (!selection_ || *selection_ == 0) return;
  const std::size_t i = *selection_;
  std::swap(entries_[i - 1], entries_[i]);
  selection_ = i - 1;
  Renumber();
  ContentChanged();
}

void ProgramList::MoveDown() {
  if (!selection_ || *selection_ + 1 >= entries_.size()) return;
  const std::size_t i = *selection_;
  std::swap(entries_[i], entries_[i + 1]);
  selection_ = i + 1;
  Renumber();
  ContentChanged();
}

void ProgramList::DeleteSelected() {
  if (!selection_) return;
  const std::size_t i = *selection_;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
  if (i > 0)
    selection_ = i - 1;
  else if (!entries_.empty())
    selection_ = 0;
  else
    selection_.reset();
  Renumber();
  ContentChanged();
}

void ProgramList::Clear() {
  const bool hadEntries = !entries_.empty();
  entries_.clear();
  selection_.reset();
  Renumber();
  if (hadEntries)
    ContentChanged();
  else
    Changed();
}

void ProgramList::TrimToCapacity() {
  // One pass from the end with a running total: a renumbering after every removal would
  // make a large file take minutes.
  long long total = Renumber();
  std::size_t keep = entries_.size();
  while (keep > 0 && total > kSectorCapacity) {
    --keep;
    total -= static_cast<long long>(ByteCount(entries_[keep].hexText));
  }
  if (keep == entries_.size()) return;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(keep), entries_.end());
  if (selection_ && *selection_ >= keep) selection_.reset();
  Renumber();
  ContentChanged();
}

void ProgramList::Assign(std::vector<ProgramEntry> entries, std::optional<std::size_t> selection) {
  entries_ = std::move(entries);
  selection_ = selection && *selection < entries_.size() ? selection : std::nullopt;
  Renumber();
  ContentChanged();
}

void ProgramList::DeleteAt(std::size_t index) {
  if (index >= entries_.size()) return;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  if (selection_) {
    if (*selection_ == index)
      selection_.reset();
    else if (*selection_ > index)
      --*selection_;
  }
  Renumber();
  ContentChanged();
}

void ProgramList::ReplaceHexText(std::size_t index, std::string hexText) {
  if (index >= entries_.size()) return;
  std::string& text = entries_[index].hexText;
  const long long total = static_cast<long long>(total_) - static_cast<long long>(ByteCount(text)) +
                          static_cast<long long>(ByteCount(hexText));
  text = std::move(hexText);
  total_ = total > INT32_MAX ? INT32_MAX : static_cast<int>(total);
  ContentChanged();
}

std::size_t ProgramList::RemoveIf(const std::function<bool(const ProgramEntry&)>& remove) {
  std::vector<ProgramEntry> kept;
  kept.reserve(entries_.size());
  std::optional<std::size_t> selection;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (remove(entries_[i])) continue;
    if (selection_ == i) selection = kept.size();
    kept.push_back(std::move(entries_[i]));
  }
  const std::size_t removed = entries_.size() - kept.size();
  entries_ = std::move(kept);
  selection_ = selection;
  Renumber();
  if (removed > 0) ContentChanged();
  return removed;
}

std::vector<std::string> ProgramList::HexTexts() const {
  std::vector<std::string> texts;
  texts.reserve(entries_.size());
  for (const ProgramEntry& entry : entries_) texts.push_back(entry.hexText);
  return texts;
}

void ProgramList::Select(std::optional<std::size_t> index) {
  if (index && *index >= entries_.size()) index.reset();
  if (index == selection_) return;
  selection_ = index;
  Changed();
}

const ProgramEntry* ProgramList::Selected() const {
  return selection_ ? &entries_[*selection_] : nullptr;
}

void ProgramList::SetChangeListener(std::function<void()> listener) {
  listener_ = std::move(listener);
}

void ProgramList::BeginUpdate() { ++updateDepth_; }

void ProgramList::EndUpdate() {
  if (updateDepth_ == 0) return;
  if (--updateDepth_ == 0 && changePending_) {
    changePending_ = false;
    if (listener_) listener_();
  }
}

void ProgramList::ContentChanged() {
  modified_ = true;
  Changed();
}

void ProgramList::Changed() {
  if (updateDepth_ > 0) {
    changePending_ = true;
    return;
  }
  if (listener_) listener_();
}

}  // namespace relay::model
