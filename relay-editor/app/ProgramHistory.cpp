#include "ProgramHistory.h"

#include <QUndoCommand>

namespace relay::app {

bool ProgramState::sameContent(const ProgramState& other) const {
  if (projectFile != other.projectFile || entries.size() != other.entries.size()) return false;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].hexText != other.entries[i].hexText ||
        entries[i].listingText != other.entries[i].listingText)
      return false;
  return true;
}

// One change of the list: redo puts the state after it back, undo the state
// before it. The first redo, from push, finds the change made already.
class ProgramHistory::Step : public QUndoCommand {
 public:
  Step(ProgramHistory& history, const std::string& text, std::shared_ptr<const ProgramState> before,
       std::shared_ptr<const ProgramState> after)
      : QUndoCommand(QString::fromStdString(text)),
        history_(history),
        before_(std::move(before)),
        after_(std::move(after)),
        switchesFile_(before_->projectFile != after_->projectFile) {}

  void undo() override { history_.restore(before_, switchesFile_); }
  void redo() override {
    if (done_) history_.restore(after_, switchesFile_);
    done_ = true;
  }

 private:
  ProgramHistory& history_;
  std::shared_ptr<const ProgramState> before_;
  std::shared_ptr<const ProgramState> after_;
  // Only a step that loaded another file takes the file name back; the other steps
  // edit whatever file the list is saved to, even one saved under a new name since.
  bool switchesFile_;
  bool done_ = false;
};

ProgramHistory::ProgramHistory(model::ProgramList& list) : list_(list) {
  stack_.setUndoLimit(kUndoLimit);
  QObject::connect(&stack_, &QUndoStack::indexChanged, &stack_, [this] { changed(); });
  QObject::connect(&stack_, &QUndoStack::cleanChanged, &stack_, [this] { changed(); });
}

ProgramHistory::~ProgramHistory() {
  onChanged = nullptr;
  QObject::disconnect(&stack_, nullptr, &stack_, nullptr);
}

ProgramState ProgramHistory::snapshot() const {
  return {list_.Entries(), list_.Selection(), projectFile_};
}

void ProgramHistory::record(const std::string& text, const std::function<void()>& change) {
  const ProgramState before = snapshot();
  change();
  recordSince(text, before);
}

void ProgramHistory::recordSince(const std::string& text, const ProgramState& before) {
  ProgramState after = snapshot();
  if (after.sameContent(before)) {
    changed();  // the file may have been saved meanwhile
    return;
  }
  // The state between two steps is kept once.
  std::shared_ptr<const ProgramState> from = current_ && current_->sameContent(before) &&
                                                     current_->selection == before.selection &&
                                                     current_->projectFile == before.projectFile
                                                 ? current_
                                                 : std::make_shared<const ProgramState>(before);
  push(text, std::move(from), std::make_shared<const ProgramState>(std::move(after)));
}

void ProgramHistory::push(const std::string& text, std::shared_ptr<const ProgramState> before,
                          std::shared_ptr<const ProgramState> after) {
  current_ = after;
  stack_.push(new Step(*this, text, std::move(before), std::move(after)));
}

void ProgramHistory::restore(const std::shared_ptr<const ProgramState>& state, bool file) {
  current_ = state;
  if (file) projectFile_ = state->projectFile;
  list_.Assign(state->entries, state->selection);
}

void ProgramHistory::undo() { stack_.undo(); }
void ProgramHistory::redo() { stack_.redo(); }
bool ProgramHistory::canUndo() const { return stack_.canUndo(); }
bool ProgramHistory::canRedo() const { return stack_.canRedo(); }
std::string ProgramHistory::undoText() const { return stack_.undoText().toStdString(); }
std::string ProgramHistory::redoText() const { return stack_.redoText().toStdString(); }
int ProgramHistory::steps() const { return stack_.count(); }

void ProgramHistory::markSaved() {
  stack_.setClean();
  changed();
}

void ProgramHistory::reset() {
  current_.reset();
  stack_.clear();
  changed();
}

void ProgramHistory::changed() {
  list_.SetModified(!stack_.isClean());
  if (onChanged) onChanged();
}

}  // namespace relay::app
