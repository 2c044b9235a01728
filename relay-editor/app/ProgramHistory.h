#pragma once
// Undo and redo of every change of the Program list, on Qt's undo stack. Each
// step keeps the list as it was before and after (entries and selection, and
// for a load the project file it came from); consecutive steps share the state
// between them.
// The stack's clean state is the list as its project file holds it, so the
// list's modified flag follows undo and redo.

#include "model/ProgramList.h"

#include <QUndoStack>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace relay::app {

struct ProgramState {
  std::vector<model::ProgramEntry> entries;
  std::optional<std::size_t> selection;
  std::string projectFile;  // the file the list was loaded from or saved to, if any

  // Equal entries and file; the selection alone is no change.
  bool sameContent(const ProgramState& other) const;
};

class ProgramHistory {
 public:
  // Steps kept; older ones are dropped.
  static constexpr int kUndoLimit = 100;

  explicit ProgramHistory(model::ProgramList& list);
  ~ProgramHistory();

  // Runs `change` as one step named `text` ("增加", "删除", ...). A change that
  // leaves the entries and the file as they were records nothing.
  void record(const std::string& text, const std::function<void()>& change);
  // Records the change from `before` to the list as it is now, as one step (a
  // change that happened over time, like a read from the device).
  void recordSince(const std::string& text, const ProgramState& before);
  ProgramState snapshot() const;

  void undo();
  void redo();
  bool canUndo() const;
  bool canRedo() const;
  std::string undoText() const;
  std::string redoText() const;
  int steps() const;  // how many steps the stack holds

  // The list is now as its project file holds it.
  void markSaved();
  // Forgets every step; the list as it is counts as saved (start-up).
  void reset();

  const std::string& projectFile() const { return projectFile_; }
  void setProjectFile(std::string path) { projectFile_ = std::move(path); }

  QUndoStack& stack() { return stack_; }
  // Called after every step, undo, redo and save: the title and the actions
  // follow it.
  std::function<void()> onChanged;

 private:
  class Step;
  void restore(const std::shared_ptr<const ProgramState>& state, bool file);
  void push(const std::string& text, std::shared_ptr<const ProgramState> before,
            std::shared_ptr<const ProgramState> after);
  void changed();

  model::ProgramList& list_;
  std::string projectFile_;
  std::shared_ptr<const ProgramState> current_;  // after the last step done or undone
  QUndoStack stack_;
};

}  // namespace relay::app
