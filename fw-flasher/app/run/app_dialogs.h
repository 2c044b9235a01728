// The questions and message boxes of the flasher's application logic. The
// dialog shows them as message boxes, fw-flash asks on the terminal, tests
// answer them directly. Texts are UTF-8.
#pragma once

#include <functional>
#include <string_view>

namespace fw {

enum class MessageIcon { kInformation, kExclamation, kError, kQuestion };

// How a question of the window's own ends: answered, or withdrawn because what
// it asks about has gone by itself.
enum class Answer { kYes, kNo, kWithdrawn };

struct QuestionOptions {
  // No is the button that Enter presses (else Yes).
  bool no_is_default = false;
  // Tested while the question is open; once true the question goes away by
  // itself and is answered kWithdrawn. Empty: it waits for an answer.
  std::function<bool()> withdrawn;
};

class AppDialogs {
 public:
  virtual ~AppDialogs() = default;
  // A question with the buttons Yes and No; true for Yes. Asked from the
  // download worker it blocks that thread only, and it answers No (without
  // asking, or by giving up the question) once a stop was requested.
  virtual bool AskYesNo(std::string_view text, std::string_view caption) = 0;
  // A message box with one button; returns when the user has closed it (at
  // once where nobody can see it).
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

  // A question of the window's own thread with the options. Where a question
  // cannot be taken away while it is open, it is asked as AskYesNo asks it,
  // and a withdrawal that came meanwhile wins over the answer.
  virtual Answer Ask(std::string_view text, std::string_view caption,
                     const QuestionOptions& options) {
    const auto withdrawn = [&options] { return options.withdrawn && options.withdrawn(); };
    if (withdrawn()) return Answer::kWithdrawn;
    const bool yes = AskYesNo(text, caption);
    if (withdrawn()) return Answer::kWithdrawn;
    return yes ? Answer::kYes : Answer::kNo;
  }
};

}  // namespace fw
