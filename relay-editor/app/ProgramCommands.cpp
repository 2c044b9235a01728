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

bool ProgramCommands::storeFromEditor(const model::Encoded& encoded, int mode) {
  const std::string failure{model::kFailureMessage};
  const std::string warningTitle{model::kWarningTitle};
  switch (encoded.display()) {
    case model::RefusalDisplay::None:
      if (list_.Store(encoded.hexText, mode)) return true;
      dialogs_.tell(warningTitle, failure, MessageIcon::Error);
      return false;
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

void ProgramCommands::moveUp() { list_.MoveUp(); }

void ProgramCommands::moveDown() { list_.MoveDown(); }

void ProgramCommands::deleteSelected() { list_.DeleteSelected(); }

void ProgramCommands::clear() { list_.Clear(); }

void ProgramCommands::optimise() { model::Optimise(list_); }

void ProgramCommands::save() {
  const auto chosen =
      dialogs_.pickFileToSave({"保存文件路径", std::string(model::kProjectFileFilter), "",
                               std::string(model::kProjectFileExtension)});
  if (!chosen) {
    dialogs_.tell(kHintTitle, "操作放弃！", MessageIcon::Error);
    return;
  }
  const auto result = model::SaveProjectFile(TrimBlanks(*chosen), list_);
  if (!result) {
    dialogs_.showError(result.message);
    return;
  }
  list_.SetModified(false);
  dialogs_.tell(kHintTitle, "存盘成功！", MessageIcon::Success);
}

void ProgramCommands::load(const std::filesystem::path& programFolder) {
  if (!mayDiscard()) return;
  list_.Clear();
  list_.SetModified(false);
  std::string fileError;
  const auto chosen = dialogs_.pickFileToOpen({"打开", std::string(model::kProjectFileFilter),
                                               programFolder.string(),
                                               "*" + std::string(model::kProjectFileExtension)});
  // A name of blanks only is no file: nothing is loaded and no file error shown.
  if (const std::string name = chosen ? TrimBlanks(*chosen) : std::string(); !name.empty()) {
    const auto result = model::LoadProjectFile(name, list_);
    list_.SetModified(false);
    if (!result) {
      fileError = result.message;
    } else if (list_.Renumber() <= model::kSectorCapacity) {
      dialogs_.tell(kHintTitle, "读取成功！", MessageIcon::Success);
    } else if (dialogs_.ask("警告！", "         检测到指令超出扇区容量，按 是 删除多余指令")) {
      list_.TrimToCapacity();  // the list now differs from the file: modified
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
  list_.SetModified(false);
}

bool ProgramCommands::mayDiscard() {
  if (!list_.Modified() || list_.Empty()) return true;
  return dialogs_.ask(kDiscardTitle, kDiscardQuestion);
}

}  // namespace relay::app
