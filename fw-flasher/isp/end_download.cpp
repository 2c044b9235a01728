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

void Beep(IspLink& link, BeepKind kind, int times = 1) {
  if (link.download.silent || link.outputs.sound_sink == nullptr) return;
  for (int i = 0; i < times; ++i) link.outputs.sound_sink->Beep(kind);
}

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

int EndDownload(IspLink& link, int result, std::string_view window_title) {
  CommandBuilder end(link);
  end.Add(boot_loader::kEndOfDownload);
  link.SendPacket(end.data(), end.size());
  const std::string stamp = ResultTimeStamp();
  const auto log = [&](MessageId id, auto... args) { LogMessage(link, link.GetText(id), args...); };
  switch (result) {
    case kStepOk: {
      const float error = link.clock.trim_error;
      if (error >= -kTrimTolerance && error <= kTrimTolerance) {
        Beep(link, BeepKind::kInformation);
        Finish(link, true);
        LogMessage(link, "\r\n");
        log(kMsgComplete, stamp.c_str());
      } else {
        Beep(link, BeepKind::kError, kFailureBeeps);
        Finish(link, true);
        log(kMsgProgramCodeComplete, stamp.c_str());
        log(kMsgTrimFailed);
        log(kMsgTrimErrorTooLarge);
      }
      break;
    }
    case kStepStopped:
      Beep(link, BeepKind::kPlain);
      Finish(link, false);
      log(kMsgTerminated, stamp.c_str());
      break;
    case kStepWrongChip:
      Beep(link, BeepKind::kError, kFailureBeeps);
      Finish(link, false);
      break;
    case kStepFinishedEarly:
      Finish(link, true);
      LogMessage(link, "\r\n");
      log(kMsgComplete, stamp.c_str());
      Beep(link, BeepKind::kInformation);
      break;
    case kStepRefused:
    case kStepTimedOut:
      Beep(link, BeepKind::kError, kFailureBeeps);
      Finish(link, false);
      log(kMsgDownloadFailed, VersionTextOfTitle(window_title).c_str(), stamp.c_str());
      break;
    default:
      Beep(link, BeepKind::kInformation);
      Finish(link, false);
      break;
  }
  return result;
}

}  // namespace fw
