#include "ScriptedDialogs.h"

namespace relay::app {

bool ScriptedDialogs::ask(const std::string& title, const std::string& text) {
  shown_.push_back({Kind::Ask, title, text, MessageIcon::Error, {}, owner()});
  if (askAnswers_.empty()) {
    ++unexpected_;
    return false;
  }
  bool yes = askAnswers_.front();
  askAnswers_.pop_front();
  return yes;
}

void ScriptedDialogs::tell(const std::string& title, const std::string& text, MessageIcon icon) {
  shown_.push_back({Kind::Tell, title, text, icon, {}, owner()});
}

void ScriptedDialogs::showError(const std::string& message) {
  shown_.push_back({Kind::Error, applicationTitle(), message, MessageIcon::Error, {}, owner()});
}

std::optional<std::string> ScriptedDialogs::pickFileToOpen(const FileRequest& request) {
  return nextFile(Kind::OpenFile, request);
}

std::optional<std::string> ScriptedDialogs::pickFileToSave(const FileRequest& request) {
  return nextFile(Kind::SaveFile, request);
}

std::optional<std::string> ScriptedDialogs::nextFile(Kind kind, const FileRequest& request) {
  shown_.push_back({kind, request.title, "", MessageIcon::Error, request, owner()});
  if (fileAnswers_.empty()) {
    ++unexpected_;
    return std::nullopt;
  }
  auto path = fileAnswers_.front();
  fileAnswers_.pop_front();
  return path;
}

std::vector<std::string> ScriptedDialogs::texts() const {
  std::vector<std::string> result;
  for (const auto& s : shown_)
    if (s.kind == Kind::Ask || s.kind == Kind::Tell || s.kind == Kind::Error)
      result.push_back(s.text);
  return result;
}

}  // namespace relay::app
