// Where a run stands as the result panel shows it: the log texts that start a
// wait or a step, how a download's end reads, and the log watch that passes
// every text on and tells each new status once.
#include <gtest/gtest.h>

#include <optional>

#include "app/run/run_status.h"
#include "isp/link/step_result.h"
#include "messages/message_table.h"
#include "tests/app/run/app_fakes.h"

namespace fw {
namespace {

struct LogCase {
  const char* text;
  int language;
  RunPhase current;
  std::optional<RunPhase> phase;  // none: the text announces nothing
  const char* detail;
};

class StatusOfLogTextCases : public ::testing::TestWithParam<LogCase> {};

TEST_P(StatusOfLogTextCases, AnnouncesWhatTheDownloadDoes) {
  const LogCase& c = GetParam();
  const std::optional<RunStatus> status = StatusOfLogText(c.text, c.language, c.current);
  ASSERT_EQ(status.has_value(), c.phase.has_value());
  if (!status) return;
  EXPECT_EQ(status->phase, *c.phase);
  EXPECT_EQ(status->detail, c.detail);
}

constexpr int kEn = kLanguageEnglish;
constexpr int kZh = kLanguageChinese;

INSTANTIATE_TEST_SUITE_P(
    LogTexts, StatusOfLogTextCases,
    ::testing::Values(LogCase{"Checking target MCU ... \r\n", kEn, RunPhase::kRunning,
                              RunPhase::kWaiting, "Waiting for the chip: power it on now"},
                      LogCase{"正在检测目标单片机 ... \r\n", kZh, RunPhase::kRunning,
                              RunPhase::kWaiting, "等待目标芯片: 请现在给芯片上电"},
                      LogCase{"Re-Checking target MCU ... \r\n", kEn, RunPhase::kRunning,
                              RunPhase::kWaiting, "Waiting for the chip: power it on now"},
                      LogCase{"Checking download board ... \r\n", kEn, RunPhase::kRunning,
                              RunPhase::kWaiting, "Checking download board ..."},
                      LogCase{"\r\nWaiting for the profile /p/App.ini: another download of "
                              "this project is using it ...\r\n",
                              kEn, RunPhase::kRunning, RunPhase::kWaiting,
                              "Waiting for the profile /p/App.ini: another download of this "
                              "project is using it ..."},
                      // The chip answers the wait by naming itself; later the same line is
                      // part of the report and starts nothing.
                      LogCase{"  MCU type: QMV45A60000\r\n", kEn, RunPhase::kWaiting,
                              RunPhase::kRunning, "MCU type: QMV45A60000"},
                      LogCase{"  MCU type: QMV45A60000\r\n", kEn, RunPhase::kRunning, std::nullopt,
                              ""},
                      LogCase{"  单片机型号: QMV45A60000\r\n", kZh, RunPhase::kWaiting,
                              RunPhase::kRunning, "单片机型号: QMV45A60000"},
                      LogCase{"Erasing MCU flash ...  ", kEn, RunPhase::kRunning,
                              RunPhase::kRunning, "Erasing MCU flash ..."},
                      LogCase{"正在下载用户代码 ... ", kZh, RunPhase::kRunning, RunPhase::kRunning,
                              "正在下载用户代码 ..."},
                      LogCase{"Programming OPTIONS ... ", kEn, RunPhase::kRunning,
                              RunPhase::kRunning, "Programming OPTIONS ..."},
                      LogCase{"Adjusting frequency ...", kEn, RunPhase::kWaiting,
                              RunPhase::kRunning, "Adjusting frequency ..."},
                      // Another language's text, an outcome, a dot of the repeat wait.
                      LogCase{"Erasing MCU flash ...  ", kZh, RunPhase::kRunning, std::nullopt, ""},
                      LogCase{"OK !\t\t[0.125\"]\r\n", kEn, RunPhase::kRunning, std::nullopt, ""},
                      LogCase{".", kEn, RunPhase::kPassed, std::nullopt, ""},
                      LogCase{"", kEn, RunPhase::kWaiting, std::nullopt, ""}));

struct OutcomeCase {
  PassOutcome outcome;
  int language;
  RunPhase phase;
  const char* headline;
  const char* detail;
};

PassOutcome Downloaded(int result, std::vector<std::string> serials = {}) {
  PassOutcome o;
  o.downloaded = true;
  o.result = result;
  o.serial_numbers = std::move(serials);
  return o;
}

class StatusOfOutcomeCases : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(StatusOfOutcomeCases, SaysHowTheDownloadEnded) {
  const OutcomeCase& c = GetParam();
  const RunStatus status = StatusOfOutcome(c.outcome, c.language);
  EXPECT_EQ(status.phase, c.phase);
  EXPECT_EQ(status.headline, c.headline);
  EXPECT_EQ(status.detail, c.detail);
}

PassOutcome Board(int result) {
  PassOutcome o = Downloaded(result);
  o.board_operation = true;
  return o;
}

PassOutcome RunStopped(int words, bool downloaded) {
  PassOutcome o = Downloaded(kStepOk, {"No. 5"});
  o.downloaded = downloaded;
  o.run_stop_words = words;
  return o;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, StatusOfOutcomeCases,
    ::testing::Values(
        OutcomeCase{Downloaded(kStepOk, {"First no. 100", "Second no. 200"}), kEn,
                    RunPhase::kPassed, "PASS", "Result: ok  ·  First no. 100  ·  Second no. 200"},
        OutcomeCase{Downloaded(kStepOk, {"序列号 100"}), kZh, RunPhase::kPassed, "合格",
                    "结果: 成功  ·  序列号 100"},
        OutcomeCase{Downloaded(kStepTimedOut, {"First no. 100"}), kEn, RunPhase::kFailed, "FAIL",
                    "Result: time-out"},
        OutcomeCase{Downloaded(kStepWrongChip), kZh, RunPhase::kFailed, "不合格",
                    "结果: 单片机型号错误"},
        OutcomeCase{Downloaded(kStepFailedLogged), kEn, RunPhase::kFailed, "FAIL",
                    "Result: failed"},
        OutcomeCase{Downloaded(kStepStopped), kEn, RunPhase::kStopped, "STOPPED",
                    "Result: stopped"},
        OutcomeCase{Board(kStepFinishedEarly), kEn, RunPhase::kPassed, "PASS",
                    "Result: the download board took the program"},
        OutcomeCase{Board(kStepRefused), kEn, RunPhase::kFailed, "FAIL",
                    "Result: unexpected reply or refused"},
        // Finished early outside the board operation counts no pass.
        OutcomeCase{Downloaded(kStepFinishedEarly), kEn, RunPhase::kFailed, "FAIL",
                    "Result: finished early"},
        OutcomeCase{RunStopped(kMsgPanelSerialNumberFull, false), kEn, RunPhase::kFailed, "FAIL",
                    "Result: a serial number does not fit its bytes"},
        // The chip took the download, but its numbers were not stored.
        OutcomeCase{RunStopped(kMsgPanelProfileNotWritten, true), kEn, RunPhase::kPassed, "PASS",
                    "Result: ok  ·  No. 5  ·  the profile could not be written"},
        // Given up waiting for the profile, before any chip.
        OutcomeCase{PassOutcome{}, kEn, RunPhase::kStopped, "STOPPED", "Result: stopped"}));

TEST(RunStatusTest, SerialNumbersAreNamedByTheirLabels) {
  EXPECT_EQ(SerialNumberShown("First no.", 0, "100", kEn), "First no. 100");
  EXPECT_EQ(SerialNumberShown("  ", 1, "7", kEn), "Serial number 2 7");
  EXPECT_EQ(SerialNumberShown("", 0, "7", kZh), "序列号 1 7");
}

TEST(RunStatusTest, TheLogWatchPassesEverythingOnAndTellsEachNewStatusOnce) {
  test::LockedLog log;
  std::vector<RunStatus> told;
  StatusWatchLog watch(kEn, [&told](const RunStatus& s) { told.push_back(s); });
  watch.SetTarget(&log);
  watch.Told(StartedStatus(kEn));
  const std::vector<std::string> pieces = {
      "Checking target MCU ... \r\n", "Checking target MCU ... \r\n", "  MCU type: X\r\n",
      "Erasing MCU flash ...  ",      "OK !\t\t[0.1\"]\r\n",          "  MCU type: X\r\n"};
  std::string whole;
  for (const std::string& piece : pieces) {
    watch.Append(piece);
    whole += piece;
  }
  EXPECT_EQ(log.Text(), whole);
  ASSERT_EQ(told.size(), 3u);
  EXPECT_EQ(told[0].phase, RunPhase::kWaiting);
  EXPECT_EQ(told[0].headline, "WAITING");
  EXPECT_EQ(told[1].detail, "MCU type: X");
  EXPECT_EQ(told[2].detail, "Erasing MCU flash ...");
  watch.Clear();
  EXPECT_EQ(log.Text(), "");
  // Without a log to pass on to, the texts are still watched.
  watch.SetTarget(nullptr);
  watch.Append("Programming user code ... ");
  EXPECT_EQ(told.size(), 4u);
}

}  // namespace
}  // namespace fw
