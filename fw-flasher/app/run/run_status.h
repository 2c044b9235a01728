// Where a download run stands, in the words an operator reads from a distance:
// ready, waiting for the chip, a step under way, then the pass or the failure
// of the last download with its result in words and the serial numbers it
// wrote. The run works it out from what the download logs and how it ended;
// a window shows it, the command line ignores it. Texts are UTF-8.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "isp/link/link_outputs.h"

namespace fw {

enum class RunPhase { kIdle, kWaiting, kRunning, kPassed, kFailed, kStopped };

struct RunStatus {
  RunPhase phase = RunPhase::kIdle;
  std::string headline;  // the large word: "PASS", "FAIL", ...
  std::string detail;    // one line: the step, or the result and the serial numbers
  friend bool operator==(const RunStatus&, const RunStatus&) = default;
};

RunStatus IdleStatus(int language);
// A download has begun and has logged no step yet.
RunStatus StartedStatus(int language);

// The status a log text announces: waiting when the download starts looking
// for the chip (or the download board, or waits for the profile), running with the step's own words
// when a step starts, or (while waiting) when the chip or the board names itself; none for any
// other text. The text is one piece as the link logs it, in the run's language.
std::optional<RunStatus> StatusOfLogText(std::string_view text, int language, RunPhase current);

// How one download of a run ended.
struct PassOutcome {
  bool downloaded = false;  // the flow ran (the chip was contacted or tried)
  int result = 0;           // the flow's result
  bool board_operation = false;
  // Why the run itself ended the pass (a message id of the panel's words); none
  // when only the download's result counts.
  std::optional<int> run_stop_words;
  // The serial numbers the download wrote, "label value" each.
  std::vector<std::string> serial_numbers;
};

// Passed when the download succeeded (the board operation: when the board took
// the program), stopped when the operator stopped it, else failed.
RunStatus StatusOfOutcome(const PassOutcome& outcome, int language);

// "label value" of serial number n (0 or 1) as the panel names it: the
// project's label for the edit, or "Serial number n" where it has none.
std::string SerialNumberShown(std::string_view label, int n, std::string_view value, int language);

// The log as the run writes it, passed on whole to the log the caller gave,
// with each status its texts announce told to on_status (on the worker's
// thread) when it differs from the last one told.
class StatusWatchLog final : public LogSink {
 public:
  using OnStatus = std::function<void(const RunStatus&)>;
  StatusWatchLog(int language, OnStatus on_status) : language_(language), on_status_(on_status) {}

  // The log every text goes on to; null: none.
  void SetTarget(LogSink* target) { target_ = target; }
  LogSink* target() const { return target_; }
  // The status last told, so that a repeat of it is not told again.
  void Told(const RunStatus& status) { last_ = status; }

  void Clear() override;
  void Append(std::string_view text) override;

 private:
  int language_;
  OnStatus on_status_;
  LogSink* target_ = nullptr;
  RunStatus last_;
};

}  // namespace fw
