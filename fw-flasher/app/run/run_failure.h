// A run that ends for a reason of its own (the profile, a full serial number),
// reported as the flows report a device that does not open.
#pragma once

#include <string>

#include "isp/link/isp_link.h"

namespace fw {

class AppDialogs;

// The error sound (unless silent) and the text in the log.
void LogRunFailure(IspLink& link, const std::string& text);
// The text in a message box (caption message 8125, exclamation icon), without
// the line ends around it.
void ShowRunFailure(IspLink& link, AppDialogs& dialogs, const std::string& text);

}  // namespace fw
