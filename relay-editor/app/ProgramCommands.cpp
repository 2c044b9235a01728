#include "ProgramCommands.h"

#include "model/Instruction.h"
#include "model/Optimiser.h"
#include "model/ProjectFile.h"

#include <stdexcept>

namespace relay::app {

namespace {

constexpr const char* kHintTitle = "提示：";

std::string TrimBlanks(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string StoreStepText(int mode) {
  switch (mode) {
    case 0:
      return "增加";
    case 1:
      return "修改";
    case 2:
      return "向上插入";
    case 3:
      return "向下插入";
  }
  return {};
}

std::string MainWindowTitle(const std::string& programTitle, const std::string& projectFile,
                            bool modified) {
  std::string title = programTitle;
  if (!projectFile.empty()) title += " - " + std::filesystem::path(projectFile).filename().string();
  if (modified) title += " *";
  return title;
}

ProgramCommands::ProgramCommands(model::ProgramList& list, Dialogs& dialogs,
                                 std::filesystem::path programFolder)
    : list_(list), dialogs_(dialogs), history_(list), dialogFolder_(std::move(programFolder)) {}

bool ProgramCommands::storeFromEditor(const model::Encoded& encoded, int mode) {
  const std::string failure{model::kFailureMessage};
  const std::string warningTitle{model::kWarningTitle};
  switch (encoded.display()) {
    case model::RefusalDisplay::None: {
      bool stored = false;
      history_.record(StoreStepText(mode), [&] { stored = list_.Store(encoded.hexText, mode); });
      if (stored) return true;
      dialogs_.tell(warningTitle, failure, MessageIcon::Error);
      return false;
    }
    case model::RefusalDisplay::FailureOnly:
      dialogs_.tell(warningTitle, failure, MessageIcon::Error);
      return false;
    case model::RefusalDisplay::WarningThenFailure:
      dialogs_.tell(warningTitle, encoded.message, MessageIcon::Error);
      dialogs_.tell(warningTitle, failure, MessageIcon::Error);
      return false;
    case model::RefusalDisplay::ConversionError:
      dialogs_.showError(encoded.message);
      return false;
  }
  return false;
}

void ProgramCommands::moveUp() {
  history_.record("上移", [this] { list_.MoveUp(); });
}

void ProgramCommands::moveDown() {
  history_.record("下移", [this] { list_.MoveDown(); });
}

void ProgramCommands::deleteSelected() {
  history_.record("删除", [this] { list_.DeleteSelected(); });
}

void ProgramCommands::clear() {
  history_.record("清除", [this] { list_.Clear(); });
}

void ProgramCommands::optimise() {
  history_.record("优化指令", [this] { model::Optimise(list_); });
}

void ProgramCommands::usedFolderOf(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::absolute(path, ec).parent_path();
  if (!ec && !folder.empty()) dialogFolder_ = folder;
}

void ProgramCommands::save() {
  const auto chosen =
      dialogs_.pickFileToSave({"保存文件路径", std::string(model::kProjectFileFilter),
                               dialogFolder_.string(), std::string(model::kProjectFileExtension)});
  if (!chosen) {
    dialogs_.tell(kHintTitle, "操作放弃！", MessageIcon::Error);
    return;
  }
  const std::string name = TrimBlanks(*chosen);
  usedFolderOf(name);
  const auto result = model::SaveProjectFile(name, list_, *fileCalls_);
  if (!result) {
    dialogs_.showError(result.message);
    return;
  }
  history_.setProjectFile(name);
  history_.markSaved();
  dialogs_.tell(kHintTitle, "存盘成功！", MessageIcon::Success);
}

void ProgramCommands::load() {
  if (!mayDiscard()) return;
  const ProgramState before = history_.snapshot();
  list_.Clear();
  history_.setProjectFile({});
  std::string fileError;
  bool loaded = false;
  const auto chosen = dialogs_.pickFileToOpen({"打开", std::string(model::kProjectFileFilter),
                                               dialogFolder_.string(),
                                               "*" + std::string(model::kProjectFileExtension)});
  // A name of blanks only is no file: nothing is loaded and no file error shown.
  if (const std::string name = chosen ? TrimBlanks(*chosen) : std::string(); !name.empty()) {
    usedFolderOf(name);
    const auto result = model::LoadProjectFile(name, list_);
    if (!result) {
      fileError = result.message;
    } else {
      loaded = true;
      history_.setProjectFile(name);
    }
  }
  // Loading, however it ended, is one step; the list then is as its file holds it.
  history_.recordSince("读入", before);
  if (loaded) history_.markSaved();
  if (loaded) {
    if (list_.Renumber() <= model::kSectorCapacity) {
      dialogs_.tell(kHintTitle, "读取成功！", MessageIcon::Success);
    } else if (dialogs_.ask("警告！", "         检测到指令超出扇区容量，按 是 删除多余指令")) {
      // The list now differs from the file: modified.
      history_.record("删除多余指令", [this] { list_.TrimToCapacity(); });
    }
  }
  if (list_.Empty()) dialogs_.tell(kHintTitle, "未读取到有效数据！", MessageIcon::Error);
  if (!fileError.empty()) dialogs_.showError(fileError);
}

void ProgramCommands::loadAtStartup(const std::string& path) {
  // An empty argument names no file; loading it fails without a message.
  if (path.empty()) return;
  const auto result = model::LoadProjectFile(path, list_);
  if (!result) throw std::runtime_error(result.message);
  usedFolderOf(path);
  history_.setProjectFile(path);
  history_.reset();
}

bool ProgramCommands::mayDiscard() {
  if (!list_.Modified() || list_.Empty()) return true;
  return dialogs_.ask(kDiscardTitle, kDiscardQuestion);
}

}  // namespace relay::app
