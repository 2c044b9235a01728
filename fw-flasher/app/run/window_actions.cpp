#include "app/run/window_actions.h"

#include "app/project/gbk_text.h"
#include "app/project/project.h"
#include "app/run/app_dialogs.h"
#include "app/run/download_run.h"
#include "app/run/run_failure.h"
#include "app/run/serial_numbers.h"
#include "messages/message_table.h"

namespace fw {

WindowActions::WindowActions(DownloadRun& run, AppDialogs& dialogs, const Project* project,
                             int language)
    : run_(run), dialogs_(dialogs), project_(project), language_(language) {}

std::string WindowActions::Caption() const {
  return project_ != nullptr ? GbkToUtf8(project_->String(ProjectStringId::kApplicationName))
                             : std::string();
}

WindowActions::Close WindowActions::RequestClose() {
  if (!run_.busy()) return Close::kNow;
  QuestionOptions options;
  options.no_is_default = true;
  // Busy holds through the waits between repeated downloads: only the end of
  // the run takes the question away.
  options.withdrawn = [&run = run_] { return !run.busy(); };
  switch (dialogs_.Ask(GetText(kMsgTerminateQuestion, language_), Caption(), options)) {
    case Answer::kYes:
      return Close::kAfterStop;
    case Answer::kNo:
      return Close::kStay;
    case Answer::kWithdrawn:
      break;
  }
  return Close::kNow;
}

void WindowActions::ResetPassCounter() {
  if (run_.pass_counter() == 0) return;
  QuestionOptions options;
  options.no_is_default = true;
  if (dialogs_.Ask(GetText(kMsgResetCounterQuestion, language_), Caption(), options) !=
      Answer::kYes) {
    return;
  }
  run_.ResetPassCounter();
}

std::string WindowActions::BaudWarning(int lowest_rate, int highest_rate) const {
  if (lowest_rate <= highest_rate) return {};
  return FormatText(GetText(kMsgBaudLowestAboveHighest, language_), lowest_rate, highest_rate);
}

SerialTextCheck WindowActions::CheckSerialText(SerialEdit edit, std::string_view text,
                                               LinkKind link) const {
  if (project_ == nullptr) return {};
  for (int n = 0; n < SerialNumbers::kCount; ++n) {
    if (SerialEditOf(*project_, n) != edit) continue;
    return fw::CheckSerialText(text, n, project_->serial_numbers[static_cast<std::size_t>(n)], link,
                               language_);
  }
  return {};
}

}  // namespace fw
