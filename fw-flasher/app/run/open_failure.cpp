#include "app/run/open_failure.h"

#include <string_view>

#include "app/run/app_dialogs.h"
#include "isp/link/isp_link.h"
#include "isp/serial_download.h"

namespace fw {

std::string BoxText(std::string_view text) {
  std::string box;
  for (const char c : text) {
    if (c != '\r') box += c;
  }
  return box;
}

int ReportOpenFailure(IspLink& link, const std::string& reason, AppDialogs& dialogs) {
  LogPortFailure(link, reason);
  dialogs.ShowMessage(BoxText(link.GetText(kMsgDeviceOpenFailed)) + "\n" + reason,
                      link.GetText(kMsgError), MessageIcon::kExclamation);
  link.running = false;
  return kStepFailedLogged;
}

}  // namespace fw
