#pragma once
// What the main window's list buttons, the editors' action buttons and the
// project-file buttons do, without a window: they work on the Program list and
// talk to the user through the dialog interface. Also keeps track of whether
// the list holds changes that no project file has.

#include "Dialogs.h"
#include "model/Encoders.h"
#include "model/ProgramList.h"

#include <filesystem>
#include <string>

namespace relay::app {

inline constexpr const char* kDiscardTitle = "警告！";
inline constexpr const char* kDiscardQuestion =
    "指令清单已修改，尚未存盘，放弃这些修改吗？按 是 确认";

class ProgramCommands {
 public:
  ProgramCommands(model::ProgramList& list, Dialogs& dialogs) : list_(list), dialogs_(dialogs) {}

  // An editor's action button: stores the encoded fields with the mode, or
  // shows the refusal. True when the entry was stored (the editor closes).
  bool storeFromEditor(const model::Encoded& encoded, int mode);

  void moveUp();
  void moveDown();
  void deleteSelected();
  void clear();
  void optimise();

  // "存盘" and "读入".
  void save();
  void load(const std::filesystem::path& programFolder);
  // The project file named on the command line: no dialog, no message.
  // Throws std::runtime_error with the file's error message.
  void loadAtStartup(const std::string& path);

  // True when the list may be replaced: it holds no unsaved changes, or the
  // user agreed to discard them.
  bool mayDiscard();

  // The Program list's modified flag: set by every change of its entries,
  // cleared by a successful save or load.
  bool modified() const { return list_.Modified(); }
  void setModified(bool modified) { list_.SetModified(modified); }

  model::ProgramList& list() { return list_; }
  Dialogs& dialogs() { return dialogs_; }

 private:
  model::ProgramList& list_;
  Dialogs& dialogs_;
};

}  // namespace relay::app
