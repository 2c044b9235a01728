#include "app/run/run_failure.h"

#include "app/run/app_dialogs.h"
#include "app/run/open_failure.h"
#include "isp/end_download.h"
#include "isp/link/isp_link.h"

namespace fw {
namespace {

// As many as a failed download sounds.
constexpr int kFailureBeeps = 3;

}  // namespace

void LogRunFailure(IspLink& link, const std::string& text) {
  BeepResult(link, BeepKind::kError, kFailureBeeps);
  LogMessage(link, "%s", text.c_str());
}

void ShowRunFailure(IspLink& link, AppDialogs& dialogs, const std::string& text) {
  std::string box = BoxText(text);
  const auto first = box.find_first_not_of('\n');
  const auto last = box.find_last_not_of('\n');
  box = first == std::string::npos ? std::string() : box.substr(first, last - first + 1);
  dialogs.ShowMessage(box, link.GetText(kMsgError), MessageIcon::kExclamation);
}

}  // namespace fw
