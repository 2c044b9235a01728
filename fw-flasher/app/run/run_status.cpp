#include "app/run/run_status.h"

#include <array>

#include "app/run/run_failure.h"
#include "isp/link/step_result.h"
#include "messages/message_table.h"

namespace fw {
namespace {

// The log texts that start a wait: for the chip, or for the download board.
constexpr std::array kChipWaits = {kMsgCheckingTarget, kMsgRecheckingTarget};
constexpr std::array kBoardWaits = {kMsgCheckingBoard, kMsgReconnectBoard};
// The log texts that start a step; the panel shows the step in their words.
constexpr std::array kSteps = {
    kMsgAdjustingFrequency, kMsgRehandshaking,      kMsgErasing,
    kMsgProgrammingCode,    kMsgProgrammingOptions, kMsgUpgradingBoardFirmware,
    kMsgCleaningUserData,   kMsgPreparingDownload,  kMsgConnectingUserInterface,
};
// Lines that name what answered a wait: the chip's type, the board's type.
constexpr std::array kAnswers = {kMsgChipType, kMsgBoardType};
// A wait for another program of the project, in that message's words.
constexpr int kProfileWait = kMsgProfileWaiting;

std::string Text(int id, int language) {
  const char* text = GetText(id, language);
  return text != nullptr ? text : "";
}

// Without the blanks and line ends around it.
std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlank);
  return text.substr(first, last - first + 1);
}

bool IsText(std::string_view text, int id, int language) { return text == Text(id, language); }

// The text is the message formatted: it begins with what stands before the
// message's first conversion.
bool IsFormatted(std::string_view text, int id, int language) {
  const std::string format = Text(id, language);
  const std::string_view fixed = std::string_view(format).substr(0, format.find('%'));
  return !Trimmed(fixed).empty() && text.starts_with(fixed);
}

RunStatus Status(RunPhase phase, int headline, std::string_view detail, int language) {
  return {phase, Text(headline, language), std::string(detail)};
}

std::string ResultWords(int words, int language) {
  return FormatText(Text(kMsgPanelResult, language).c_str(), Text(words, language).c_str());
}

}  // namespace

RunStatus IdleStatus(int language) { return Status(RunPhase::kIdle, kMsgPanelReady, "", language); }

RunStatus StartedStatus(int language) {
  return Status(RunPhase::kRunning, kMsgPanelRunning, "", language);
}

std::optional<RunStatus> StatusOfLogText(std::string_view text, int language, RunPhase current) {
  for (const int id : kChipWaits) {
    if (IsText(text, id, language))
      return Status(RunPhase::kWaiting, kMsgPanelWaiting, Text(kMsgPanelPowerOnChip, language),
                    language);
  }
  for (const int id : kBoardWaits) {
    if (IsText(text, id, language))
      return Status(RunPhase::kWaiting, kMsgPanelWaiting, Trimmed(text), language);
  }
  if (IsFormatted(text, kProfileWait, language))
    return Status(RunPhase::kWaiting, kMsgPanelWaiting, Trimmed(text), language);
  for (const int id : kSteps) {
    if (IsText(text, id, language))
      return Status(RunPhase::kRunning, kMsgPanelRunning, Trimmed(text), language);
  }
  // The chip's type is logged again later in the download; only an answer to a
  // wait starts something.
  if (current != RunPhase::kWaiting) return std::nullopt;
  for (const int id : kAnswers) {
    if (IsFormatted(text, id, language))
      return Status(RunPhase::kRunning, kMsgPanelRunning, Trimmed(text), language);
  }
  return std::nullopt;
}

RunStatus StatusOfOutcome(const PassOutcome& outcome, int language) {
  std::string detail;
  const auto add = [&detail](const std::string& part) {
    if (part.empty()) return;
    detail += (detail.empty() ? "" : "  ·  ") + part;
  };
  RunPhase phase = RunPhase::kFailed;
  int headline = kMsgPanelFailed;
  if (!outcome.downloaded) {
    if (outcome.run_stop_words) {
      add(ResultWords(*outcome.run_stop_words, language));
    } else {  // it gave up waiting for the profile: stopped before the chip
      phase = RunPhase::kStopped;
      headline = kMsgPanelStopped;
      add(ResultWords(kMsgResultStopped, language));
    }
    return Status(phase, headline, detail, language);
  }
  if (outcome.result == kStepOk) {
    phase = RunPhase::kPassed;
    headline = kMsgPanelPassed;
    add(ResultWords(kMsgResultOk, language));
    for (const std::string& serial : outcome.serial_numbers) add(serial);
  } else if (outcome.result == kStepFinishedEarly && outcome.board_operation) {
    phase = RunPhase::kPassed;
    headline = kMsgPanelPassed;
    add(ResultWords(kMsgPanelBoardLoaded, language));
  } else if (outcome.result == kStepStopped) {
    phase = RunPhase::kStopped;
    headline = kMsgPanelStopped;
    add(ResultWords(kMsgResultStopped, language));
  } else {
    add(ResultWords(StepResultWords(outcome.result), language));
  }
  // The chip may hold its firmware, but the run ended for its own reason.
  if (outcome.run_stop_words) add(Text(*outcome.run_stop_words, language));
  return Status(phase, headline, detail, language);
}

std::string SerialNumberShown(std::string_view label, int n, std::string_view value, int language) {
  const std::string name = Trimmed(label).empty()
                               ? FormatText(Text(kMsgPanelSerialNumber, language).c_str(), n + 1)
                               : std::string(Trimmed(label));
  return name + " " + std::string(value);
}

void StatusWatchLog::Clear() {
  if (target_ != nullptr) target_->Clear();
}

void StatusWatchLog::Append(std::string_view text) {
  if (target_ != nullptr) target_->Append(text);
  const std::optional<RunStatus> status = StatusOfLogText(text, language_, last_.phase);
  if (!status || *status == last_) return;
  last_ = *status;
  if (on_status_) on_status_(*status);
}

}  // namespace fw
