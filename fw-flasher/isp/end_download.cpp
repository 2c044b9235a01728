#include "isp/end_download.h"

#include <ctime>

#include "isp/finish.h"
#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "isp/step_support.h"

namespace fw {
namespace {

constexpr std::string_view kTitlePrefix = "QMV-ISP (V";
// A title longer than this is read only this far.
constexpr std::size_t kTitleLimit = 255;
// The trim is good enough within this many percent either way.
constexpr float kTrimTolerance = 1.0f;
constexpr int kFailureBeeps = 3;

}  // namespace

std::string VersionTextOfTitle(std::string_view title) {
  title = title.substr(0, kTitleLimit);
  if (title.substr(0, kTitlePrefix.size()) != kTitlePrefix) return {};
  const std::size_t close = title.find(')');
  if (close == std::string_view::npos) return {};
  return std::string(title.substr(kTitlePrefix.size(), close - kTitlePrefix.size()));
}

std::string ResultTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

void BeepResult(IspLink& link, BeepKind kind, int times) {
  if (link.request.silent || link.outputs.sound_sink == nullptr) return;
  for (int i = 0; i < times; ++i) link.outputs.sound_sink->Beep(kind);
}

void ReportResult(IspLink& link, int result, std::string_view window_title,
                  bool blank_line_before_complete) {
  const std::string stamp = ResultTimeStamp();
  switch (result) {
    case kStepOk:
      BeepResult(link, BeepKind::kInformation);
      if (blank_line_before_complete) LogMessage(link, "\r\n");
      LogMessage(link, link.GetText(kMsgComplete), stamp.c_str());
      break;
    case kStepStopped:
      BeepResult(link, BeepKind::kPlain);
      LogMessage(link, link.GetText(kMsgTerminated), stamp.c_str());
      break;
    case kStepRefused:
    case kStepTimedOut:
      BeepResult(link, BeepKind::kError, kFailureBeeps);
      LogMessage(link, link.GetText(kMsgDownloadFailed), VersionTextOfTitle(window_title).c_str(),
                 stamp.c_str());
      break;
    default:
      BeepResult(link, BeepKind::kInformation);
      break;
  }
}

int EndDownload(IspLink& link, int result, std::string_view window_title) {
  CommandBuilder end(link);
  end.Add(boot_loader::kEndOfDownload);
  link.SendPacket(end.data(), end.size());
  const float error = link.clock.trim_error;
  if (result == kStepOk && (error < -kTrimTolerance || error > kTrimTolerance)) {
    BeepResult(link, BeepKind::kError, kFailureBeeps);
    Finish(link, true);
    const std::string stamp = ResultTimeStamp();
    LogMessage(link, link.GetText(kMsgProgramCodeComplete), stamp.c_str());
    LogMessage(link, link.GetText(kMsgTrimFailed));
    LogMessage(link, link.GetText(kMsgTrimErrorTooLarge));
    return result;
  }
  if (result == kStepWrongChip) {
    BeepResult(link, BeepKind::kError, kFailureBeeps);
    Finish(link, false);
    return result;
  }
  if (result == kStepFinishedEarly) {
    // The board's own operation: the sound comes after the line.
    Finish(link, true);
    LogMessage(link, "\r\n");
    LogMessage(link, link.GetText(kMsgComplete), ResultTimeStamp().c_str());
    BeepResult(link, BeepKind::kInformation);
    return result;
  }
  Finish(link, result == kStepOk);
  ReportResult(link, result, window_title, true);
  return result;
}

}  // namespace fw
