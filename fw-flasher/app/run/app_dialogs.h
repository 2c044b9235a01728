// The questions and message boxes of the flasher's application logic. The
// dialog shows them as message boxes, fw-flash asks on the terminal, tests
// answer them directly. Texts are UTF-8.
#pragma once

#include <string_view>

namespace fw {

enum class MessageIcon { kInformation, kExclamation, kError, kQuestion };

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
};

}  // namespace fw
