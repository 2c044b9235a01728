#pragma once
// What the main window's list buttons, the editors' action buttons and the
// project-file buttons do, without a window: they work on the Program list and
// talk to the user through the dialog interface. Also keeps track of whether
// the list holds changes that no project file has.

#include "Dialogs.h"
#include "ProgramHistory.h"
#include "model/Encoders.h"
#include "model/ProgramList.h"
#include "model/WholeFile.h"

#include <filesystem>
#include <string>

namespace relay::app {

inline constexpr const char* kDiscardTitle = "警告！";
inline constexpr const char* kDiscardQuestion =
    "指令清单已修改，尚未存盘，放弃这些修改吗？按 是 确认";

// The undo step of each Store mode: "增加", "修改", "向上插入", "向下插入".
std::string StoreStepText(int mode);

// The main window's title: the program's title, the project file's name and a
// mark while the list holds unsaved changes ("VYL 编程软件 Ver 0.05 - demo.vyl *").
std::string MainWindowTitle(const std::string& programTitle, const std::string& projectFile,
                            bool modified);

class ProgramCommands {
 public:
  // The open and save dialogs start in `programFolder` the first time, then in
  // the folder of the file last opened or saved.
  ProgramCommands(model::ProgramList& list, Dialogs& dialogs,
                  std::filesystem::path programFolder = {});

  // An editor's action button: stores the encoded fields with the mode, or
  // shows the refusal. True when the entry was stored (the editor closes).
  bool storeFromEditor(const model::Encoded& encoded, int mode);

  // Each one undo step when it changes the list.
  void moveUp();
  void moveDown();
  void deleteSelected();
  void clear();
  void optimise();
  void undo() { history_.undo(); }
  void redo() { history_.redo(); }

  // "存盘" and "读入". A failed save says why and leaves the old file as it was.
  void save();
  void load();
  // The project file named on the command line: no dialog, no message, no undo
  // step. Throws std::runtime_error with the file's error message.
  void loadAtStartup(const std::string& path);

  // The folder the next open or save dialog starts in.
  const std::filesystem::path& dialogFolder() const { return dialogFolder_; }
  // The system calls saving makes (a test makes one fail).
  void setFileCalls(const model::FileCalls& calls) { fileCalls_ = &calls; }

  ProgramHistory& history() { return history_; }
  // The file the list was last loaded from or saved to; empty when none.
  const std::string& projectFile() const { return history_.projectFile(); }

  // True when the list may be replaced: it holds no unsaved changes, or the
  // user agreed to discard them.
  bool mayDiscard();

  // The Program list's modified flag: set by every change of its entries,
  // cleared by a successful save or load and by undoing back to that state.
  bool modified() const { return list_.Modified(); }
  void setModified(bool modified) { list_.SetModified(modified); }

  model::ProgramList& list() { return list_; }
  Dialogs& dialogs() { return dialogs_; }

 private:
  void usedFolderOf(const std::string& path);

  model::ProgramList& list_;
  Dialogs& dialogs_;
  ProgramHistory history_;
  std::filesystem::path dialogFolder_;
  const model::FileCalls* fileCalls_ = &model::SystemFileCalls();
};

}  // namespace relay::app
