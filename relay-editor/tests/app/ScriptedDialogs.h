#pragma once
// Dialogs answered from a script: each question and file dialog takes the next
// prepared answer, every box shown is recorded. A question or dialog with no
// prepared answer is recorded as unexpected and answered "否" / cancelled.

#include "Dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace relay::app {

class ScriptedDialogs : public Dialogs {
 public:
  enum class Kind { Ask, Tell, Error, OpenFile, SaveFile };

  struct Shown {
    Kind kind;
    std::string title;
    std::string text;
    MessageIcon icon = MessageIcon::Error;
    FileRequest request;
    QWidget* owner = nullptr;  // the window the box belonged to; null: the main window
  };

  void answerAsk(bool yes) { askAnswers_.push_back(yes); }
  void answerFile(std::optional<std::string> path) { fileAnswers_.push_back(std::move(path)); }

  bool ask(const std::string& title, const std::string& text) override;
  void tell(const std::string& title, const std::string& text, MessageIcon icon) override;
  void showError(const std::string& message) override;
  std::optional<std::string> pickFileToOpen(const FileRequest& request) override;
  std::optional<std::string> pickFileToSave(const FileRequest& request) override;

  const std::vector<Shown>& shown() const { return shown_; }
  std::vector<std::string> texts() const;  // the texts of all boxes, in order
  void forget() { shown_.clear(); }
  int unexpected() const { return unexpected_; }
  bool allAnswersUsed() const { return askAnswers_.empty() && fileAnswers_.empty(); }

 private:
  std::optional<std::string> nextFile(Kind kind, const FileRequest& request);

  std::deque<bool> askAnswers_;
  std::deque<std::optional<std::string>> fileAnswers_;
  std::vector<Shown> shown_;
  int unexpected_ = 0;
};

}  // namespace relay::app
