// The run behind the start and stop buttons, with flows that stand in for a
// download: what one pass prepares, the pass counter and serial numbers, the
// repeat loop and its wait, and a stop in every wait of the run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "app/run/download_run.h"
#include "sim/sim_usb_bus.h"
#include "tests/app/run/app_fakes.h"
#include "tests/app/run/run_bench.h"
#include "tests/support/writer_chip.h"

namespace fw {
namespace {

using namespace std::chrono_literals;
using test::ScriptedDialogs;

Project SerialProject(int repeat_delay = 0) {
  Project p;
  p.strings = {"EN", "Title", "", "", "", "", "", "", "", "chip", "", "App"};
  p.code_block.assign(100, 0x42);
  SerialNumberSettings s;
  s.enabled = true;
  s.length = 2;
  s.address = 0x40;
  s.start = SerialValue::FromUnsigned64(7);
  s.step = SerialValue::FromUnsigned64(1);
  p.serial_numbers[0] = s;
  p.string_settings.repeat_delay = repeat_delay;
  return p;
}

using Bench = test::RunBench;

// A flow as the real ones behave: running set at the start, cleared at the end.
int FlowWith(IspLink& link, int result) {
  link.running = true;
  link.running = false;
  ++link.download_count;
  return result;
}

TEST(DownloadRunTest, NothingStartsWithoutAProject) {
  Bench b(nullptr);
  int flows = 0;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) { return ++flows, FlowWith(l, 0); });
  EXPECT_FALSE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(flows, 0);
  EXPECT_TRUE(b.view.BusyChanges().empty());
}

TEST(DownloadRunTest, OnlyTheThreeRunModesStart) {
  const Project p = SerialProject();
  Bench b(&p);
  b.run.SetSerialFlow([](IspLink& l, const PortEntry&) { return FlowWith(l, 0); });
  EXPECT_FALSE(b.RunToEnd(static_cast<RunMode>(7)));
  EXPECT_FALSE(b.RunToEnd(static_cast<RunMode>(1)));
  b.view.SetPort(std::nullopt);
  EXPECT_FALSE(b.RunToEnd(RunMode::kOnce)) << "no port selected";
}

TEST(DownloadRunTest, ASuccessfulDownloadCountsAndAdvances) {
  const Project p = SerialProject();
  Bench b(&p);
  b.profile.ints["PassCounter"] = 41;
  b.run.Initialise();
  EXPECT_EQ(b.view.Edit(SerialEdit::kFirst), "7");
  PortEntry seen;
  std::vector<std::uint8_t> serial_value;
  int image_length = 0;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry& port) {
    seen = port;
    serial_value.assign(l.placements.serial_numbers[0].value.begin(),
                        l.placements.serial_numbers[0].value.begin() + 2);
    image_length = l.image.image_length;
    return FlowWith(l, 0);
  });
  EXPECT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(seen.device_path, "/dev/ttyS0");
  EXPECT_EQ(serial_value, (std::vector<std::uint8_t>{7, 0}));
  EXPECT_EQ(image_length, 512);
  EXPECT_EQ(b.run.pass_counter(), 42u);
  EXPECT_EQ(b.profile.ints["PassCounter"], 42);
  EXPECT_EQ(b.view.PassCounters().back(), 42u);
  EXPECT_EQ(b.view.Edit(SerialEdit::kFirst), "8");
  EXPECT_EQ(b.profile.ints["IncValue1Valid"], 1);
  EXPECT_EQ(b.view.BusyChanges(), (std::vector<bool>{true, false}));
  EXPECT_EQ(b.run.passes_this_run(), 1);
  EXPECT_FALSE(b.run.busy());
}

// The third operation hands the board program and run mode 4 to the flow; its
// result 5 ends the run like a failure: no pass, no new serial numbers.
TEST(DownloadRunTest, TheBoardOperationCountsNoPass) {
  Project p = SerialProject();
  p.board_program = {1, 2, 3};
  Bench b(&p);
  b.run.Initialise();
  RunMode run_mode = RunMode::kOnce;
  std::vector<std::uint8_t> program;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) {
    run_mode = l.request.run_mode;
    program = l.request.board.program;
    return FlowWith(l, kStepFinishedEarly);
  });
  EXPECT_TRUE(b.RunToEnd(RunMode::kBoard));
  EXPECT_EQ(run_mode, RunMode::kBoard);
  EXPECT_EQ(program, p.board_program);
  EXPECT_EQ(b.run.last_result(), kStepFinishedEarly);
  EXPECT_EQ(b.run.passes_this_run(), 0);
  EXPECT_EQ(b.run.pass_counter(), 0u);
  EXPECT_EQ(b.view.Edit(SerialEdit::kFirst), "7");
  EXPECT_EQ(b.profile.ints.count("PassCounter"), 0u);
  EXPECT_TRUE(b.profile.bytes.empty());
}

TEST(DownloadRunTest, AFailedOrStoppedDownloadAdvancesNothing) {
  for (const int result : {1, 2, 3, 4, -1}) {
    const Project p = SerialProject();
    Bench b(&p);
    b.run.Initialise();
    b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) { return FlowWith(l, result); });
    EXPECT_TRUE(b.RunToEnd(RunMode::kRepeated));
    EXPECT_EQ(b.run.last_result(), result);
    EXPECT_EQ(b.run.pass_counter(), 0u);
    EXPECT_EQ(b.view.Edit(SerialEdit::kFirst), "7");
    EXPECT_TRUE(b.profile.bytes.empty());
    EXPECT_EQ(b.profile.ints.count("PassCounter"), 0u);
  }
}

TEST(DownloadRunTest, AFailureInPassNCountsNMinusOnePasses) {
  const Project p = SerialProject(-5);  // a negative delay waits as 0: one second
  Bench b(&p);
  b.run.Initialise();
  int pass = 0;
  std::vector<std::string> edits_seen;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) {
    edits_seen.push_back(b.view.Edit(SerialEdit::kFirst));
    return FlowWith(l, ++pass == 3 ? 1 : 0);
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(b.RunToEnd(RunMode::kRepeated));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(pass, 3);
  EXPECT_EQ(b.run.passes_this_run(), 2);
  EXPECT_EQ(b.run.pass_counter(), 2u);
  // Each pass reads the edit again: the advanced value of the pass before.
  EXPECT_EQ(edits_seen, (std::vector<std::string>{"7", "8", "9"}));
  EXPECT_EQ(b.view.Edit(SerialEdit::kFirst), "9");
  EXPECT_GE(took, 1900ms) << "two waits of one second";
  // 4004 ("... secs .") shows the seconds, then two dots a second.
  EXPECT_NE(b.log.Text().find("\r\nRepeat after 1 secs ...\r\nRepeat after 1 secs ..."),
            std::string::npos)
      << b.log.Text();
}

// The request is built once for the run; each pass gets it afresh with its
// own serial numbers, whatever the download before did to its link.
TEST(DownloadRunTest, EveryPassStartsFromTheRunsRequest) {
  Project p = SerialProject(-1);
  p.option_words[0] = 0x0000AB00;  // option byte 1
  Bench b(&p);
  b.run.Initialise();
  std::vector<DownloadRequest> requests;
  std::vector<int> image_lengths;
  std::vector<int> option_byte_1;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) {
    requests.push_back(l.request);
    image_lengths.push_back(l.image.image_length);
    option_byte_1.push_back(l.image.option_bytes[1]);
    l.image.image_length = 0;
    l.image.option_bytes[1] = 0x00;
    l.serial.switched_baud = 57600;
    return FlowWith(l, requests.size() == 2 ? 1 : 0);
  });
  EXPECT_TRUE(b.RunToEnd(RunMode::kRepeated));
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].serial_numbers[0].value[0], 7);
  EXPECT_EQ(requests[1].serial_numbers[0].value[0], 8);
  requests[1].serial_numbers = requests[0].serial_numbers;
  EXPECT_TRUE(requests[0] == requests[1]);
  EXPECT_TRUE(requests[0] == [&] {
    RunChoices choices;
    choices.run_mode = RunMode::kRepeated;
    DownloadRequest built = BuildDownloadRequest(p, choices);
    built.serial_numbers = requests[0].serial_numbers;
    return built;
  }());
  EXPECT_EQ(image_lengths, (std::vector<int>{512, 512}));
  EXPECT_EQ(option_byte_1, (std::vector<int>{0xAB, 0xAB}));
}

// The baud dialog's indexes choose the request's rates.
TEST(DownloadRunTest, TheBaudIndexesChooseTheRates) {
  const Project p = SerialProject();
  Bench b(&p);
  b.run.SetBaudIndexes(3, 7);
  int handshake = 0;
  int highest = 0;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) {
    handshake = l.request.handshake_baud;
    highest = l.request.highest_baud;
    return FlowWith(l, 0);
  });
  EXPECT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(handshake, 9600);
  EXPECT_EQ(highest, 38400);
}

TEST(DownloadRunTest, RepeatDelayTwoShowsThreeSecondsAndSixDots) {
  const Project p = SerialProject(2);
  Bench b(&p);
  int passes = 0;
  b.run.SetSerialFlow(
      [&](IspLink& l, const PortEntry&) { return FlowWith(l, ++passes == 2 ? 1 : 0); });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(b.RunToEnd(RunMode::kRepeated));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 2900ms);
  EXPECT_NE(b.log.Text().find("\r\nRepeat after 3 secs ."
                              "......"),
            std::string::npos);
  EXPECT_EQ(b.log.Text().find("........"), std::string::npos) << "six dots, not more";
}

// A stop pressed while a flow ends (after its last wait, before the repeat
// wait) was lost when the wait set running again; the stop request holds.
TEST(DownloadRunTest, AStopAtTheEndOfAFlowEndsTheRepeatedRun) {
  const Project p = SerialProject(30);
  Bench b(&p);
  int passes = 0;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) {
    ++passes;
    b.run.StopDownload();
    return FlowWith(l, 0);
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(b.RunToEnd(RunMode::kRepeated));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(passes, 1);
  EXPECT_EQ(b.run.pass_counter(), 1u) << "the download itself succeeded";
}

// A flow that sets running at its start cannot undo a stop pressed while the
// pass was prepared: its waits still end with 3.
TEST(DownloadRunTest, AStopWhileAPassIsPreparedReachesTheFlowsWaits) {
  const Project p = SerialProject();
  Bench b(&p);
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) {
    b.run.StopDownload();  // pressed just before the flow starts
    l.running = true;
    l.StartTimeout(IspLink::kNoTimeout);
    const StepResult r = l.CheckWait();
    l.running = false;
    return static_cast<int>(r);
  });
  EXPECT_TRUE(b.RunToEnd(RunMode::kRepeated));
  EXPECT_EQ(b.run.last_result(), kStepStopped);
  EXPECT_EQ(b.run.pass_counter(), 0u);
}

TEST(DownloadRunTest, StopDuringTheRepeatWaitEndsBeforeTheNextDownload) {
  const Project p = SerialProject(1000000000);  // a wait longer than any test
  Bench b(&p);
  int passes = 0;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) { return ++passes, FlowWith(l, 0); });
  ASSERT_TRUE(b.run.StartDownload(RunMode::kRepeated));
  ASSERT_TRUE(b.AwaitLog("Repeat after 1000000001 secs"));
  EXPECT_TRUE(b.run.busy());
  b.run.StopDownload();
  b.run.WaitUntilIdle();
  EXPECT_EQ(passes, 1);
  EXPECT_FALSE(b.run.busy());
  EXPECT_EQ(b.view.BusyChanges(), (std::vector<bool>{true, false}));
  // The dots of the wait end in a line that says it was stopped.
  EXPECT_TRUE(b.log.Text().ends_with(".\r\nStopped.\r\n")) << b.log.Text();
  // A new start clears the stop request.
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) { return ++passes, FlowWith(l, 1); });
  EXPECT_TRUE(b.RunToEnd(RunMode::kRepeated));
  EXPECT_EQ(passes, 2);
  EXPECT_EQ(b.run.pass_counter(), 1u);
}

TEST(DownloadRunTest, AStoppedRepeatWaitSaysSoInChinese) {
  const Project p = SerialProject(1000000000);
  Bench b(&p, kLanguageChinese);
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) { return FlowWith(l, 0); });
  ASSERT_TRUE(b.run.StartDownload(RunMode::kRepeated));
  ASSERT_TRUE(b.AwaitLog("秒钟后开始重复下载 ."));
  b.run.StopDownload();
  b.run.WaitUntilIdle();
  EXPECT_TRUE(b.log.Text().ends_with(".\r\n已停止\r\n")) << b.log.Text();
}

// A flow that logs as the real ones do, then ends with its result.
DownloadFlow LoggingFlow(int result) {
  return [result](IspLink& l, const PortEntry&) {
    l.running = true;
    LogMessage(l, nullptr);
    LogMessage(l, l.GetText(kMsgCheckingTarget));
    LogMessage(l, l.GetText(kMsgChipType), "QMV45A60000");
    LogMessage(l, l.GetText(kMsgErasing));
    LogMessage(l, l.GetText(kMsgOkElapsed), 0.25);
    return FlowWith(l, result);
  };
}

// Each pass tells the view where it stands: started, waiting for the chip,
// each step, then how it ended, which stays until the next pass.
TEST(DownloadRunTest, EachPassTellsTheViewWhereItStands) {
  Project p = SerialProject();
  p.strings[3] = "No.";
  Bench b(&p);
  b.run.Initialise();
  b.run.SetSerialFlow(LoggingFlow(kStepOk));
  ASSERT_TRUE(b.RunToEnd(RunMode::kOnce));
  const auto phases = [](const std::vector<RunStatus>& statuses) {
    std::vector<std::pair<RunPhase, std::string>> seen;
    for (const RunStatus& s : statuses) seen.emplace_back(s.phase, s.detail);
    return seen;
  };
  using Seen = std::vector<std::pair<RunPhase, std::string>>;
  EXPECT_EQ(phases(b.view.Statuses()),
            (Seen{{RunPhase::kRunning, ""},
                  {RunPhase::kWaiting, "Waiting for the chip: power it on now"},
                  {RunPhase::kRunning, "MCU type: QMV45A60000"},
                  {RunPhase::kRunning, "Erasing MCU flash ..."},
                  {RunPhase::kPassed, "Result: ok  ·  No. 7"}}));
  // The log itself is the caller's again, whole.
  EXPECT_NE(b.log.Text().find("Erasing MCU flash ...  OK !"), std::string::npos);
  EXPECT_EQ(b.run.link().outputs.log_sink, &b.log);

  b.run.SetSerialFlow(LoggingFlow(kStepTimedOut));
  ASSERT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(b.view.Statuses().back().phase, RunPhase::kFailed);
  EXPECT_EQ(b.view.Statuses().back().detail, "Result: time-out");
}

// A full serial number ends the pass before any download: FAIL, and why.
TEST(DownloadRunTest, ARunThatStopsOnItsOwnShowsWhyItFailed) {
  const Project p = SerialProject();
  Bench b(&p);
  b.run.Initialise();
  int flows = 0;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) { return ++flows, FlowWith(l, 0); });
  b.view.ShowSerialText(SerialEdit::kFirst, "65536");  // two plain bytes hold 65535
  ASSERT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(flows, 0);
  ASSERT_FALSE(b.view.Statuses().empty());
  EXPECT_EQ(
      b.view.Statuses().back(),
      (RunStatus{RunPhase::kFailed, "FAIL", "Result: a serial number does not fit its bytes"}));
}

// The simulated bus, counting how often the run looks for writers on it.
class CountingBus final : public UsbWriterBus {
 public:
  explicit CountingBus(UsbWriterBus& bus) : bus_(bus) {}
  std::vector<UsbWriterLocation> Enumerate(std::uint16_t vendor_id,
                                           std::uint16_t product_id) override {
    ++enumerations;
    return bus_.Enumerate(vendor_id, product_id);
  }
  UsbOpenResult Open(int n, std::uint16_t vendor_id, std::uint16_t product_id) override {
    return bus_.Open(n, vendor_id, product_id);
  }
  std::atomic<int> enumerations = 0;

 private:
  UsbWriterBus& bus_;
};

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Two writers attached and the run downloads through the second: after a pass
// it goes on at once while that writer is attached, and waits (stoppable, not
// in a busy loop) while only the first one is, whatever the port list shows.
TEST(DownloadRunTest, ARepeatedUsbWriterRunWaitsForItsOwnWriter) {
  const Project p = SerialProject();
  Bench b(&p);
  sim::SimUsbBus sim_bus;
  CountingBus bus(sim_bus);
  const auto first = std::make_shared<sim::SimUsbWriter>(test::WriterTestConfig());
  const auto second = std::make_shared<sim::SimUsbWriter>(test::WriterTestConfig());
  sim_bus.Attach(first, {1, {1}, 5});
  sim_bus.Attach(second, {1, {2}, 6});
  b.run.SetUsbWriterBus(bus);
  b.view.SetPort(UsbWriterEntry(2));
  std::atomic<int> passes = 0;
  b.run.SetUsbWriterFlow([&](IspLink& l, const PortEntry& port) {
    EXPECT_EQ(port.writer_number, 2);
    // The writer is taken away after the second and the third pass; the first stays.
    if (++passes >= 2) second->Unplug();
    return FlowWith(l, 0);
  });
  ASSERT_TRUE(b.run.StartDownload(RunMode::kRepeated));
  for (int i = 0; i < 500 && passes < 2; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(passes, 2) << b.log.Text();

  // Each pass's wait logs 4005; the second one is the wait for the unplugged writer.
  const auto await_waits = [&](int n) {
    for (int i = 0; i < 500 && CountOf(b.log.Text(), "Waiting for USB device ...") < n; ++i) {
      std::this_thread::sleep_for(10ms);
    }
    return CountOf(b.log.Text(), "Waiting for USB device ...");
  };
  ASSERT_EQ(await_waits(2), 2) << b.log.Text();
  const int looks_before = bus.enumerations;
  std::this_thread::sleep_for(1000ms);
  EXPECT_EQ(passes, 2) << "no download while only another writer is attached";
  const int looks = bus.enumerations - looks_before;
  EXPECT_GE(looks, 3) << "it keeps looking for the writer";
  EXPECT_LE(looks, 12) << "about every 100 ms, not in a busy loop";

  second->Replug();
  for (int i = 0; i < 500 && passes < 3; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(passes, 3) << "the writer back: the next download";

  // Gone again after the third pass: a stop ends the wait for it.
  ASSERT_EQ(await_waits(3), 3) << b.log.Text();
  b.run.StopDownload();
  b.run.WaitUntilIdle();
  EXPECT_FALSE(b.run.busy());
  EXPECT_TRUE(b.log.Text().ends_with("Waiting for USB device ...\r\nStopped.\r\n")) << b.log.Text();
  EXPECT_EQ(passes, 3);
  EXPECT_EQ(b.run.pass_counter(), 3u);
}

TEST(DownloadRunTest, AUsbWriterWithoutItsFlowEndsLikeADeviceThatDoesNotOpen) {
  const Project p = SerialProject();
  Bench b(&p);
  b.view.SetPort(UsbWriterEntry(2));
  EXPECT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(b.run.last_result(), kStepFailedLogged);
  EXPECT_NE(b.log.Text().find("Device open fail"), std::string::npos);
  EXPECT_EQ(b.run.pass_counter(), 0u);
}

TEST(DownloadRunTest, TheResetWritesZero) {
  const Project p = SerialProject();
  Bench b(&p);
  b.profile.ints["PassCounter"] = 9;
  b.run.Initialise();
  EXPECT_EQ(b.run.pass_counter(), 9u);
  b.run.ResetPassCounter();
  EXPECT_EQ(b.run.pass_counter(), 0u);
  EXPECT_EQ(b.profile.ints["PassCounter"], 0);
  EXPECT_EQ(b.view.PassCounters().back(), 0u);
}

TEST(DownloadRunTest, BaudIndexesOutsideTheTableKeepTheirDefaults) {
  Project p = SerialProject();
  p.string_settings.lowest_baud_index = 4;
  p.string_settings.highest_baud_index = 8;
  Bench b(&p);
  EXPECT_EQ(b.run.lowest_baud_index(), 4);
  EXPECT_EQ(b.run.highest_baud_index(), 8);
  b.run.SetBaudIndexes(12, -3);
  EXPECT_EQ(b.run.lowest_baud_index(), 1);
  EXPECT_EQ(b.run.highest_baud_index(), 9);
}

// Questions from the flows (the download board's) go to the dialogs with the
// application's name, and are not asked once a stop was requested.
TEST(DownloadRunTest, QuestionsAreNotAskedAfterAStop) {
  const Project p = SerialProject();
  Bench b(&p);
  ScriptedDialogs yes(true);
  DownloadRun run(&p, b.profile, b.view, yes, 0);
  ASSERT_NE(run.link().outputs.question, nullptr);
  EXPECT_TRUE(run.link().outputs.question->Ask("Update?"));
  EXPECT_EQ(yes.Questions(), std::vector<std::string>{"App: Update?"});
  run.StopDownload();
  EXPECT_FALSE(run.link().outputs.question->Ask("Update?"));
  EXPECT_EQ(yes.Questions().size(), 1u);
}

}  // namespace
}  // namespace fw
