// A port or USB writer that does not open, reported as both download flows do.
#pragma once

#include <string>
#include <string_view>

namespace fw {

class AppDialogs;
class IspLink;

// A log text as a message box shows it: with plain line ends.
std::string BoxText(std::string_view text);

// The error sound (unless silent), message 8107 and the reason in the log and
// in a message box (caption message 8125, exclamation icon); running cleared.
// Returns -1, the result of a device that does not open.
int ReportOpenFailure(IspLink& link, const std::string& reason, AppDialogs& dialogs);

}  // namespace fw
