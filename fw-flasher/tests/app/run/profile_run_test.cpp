// The download run and the profile it shares with the other programs of its
// project: the lock held from before the download until the advanced counters
// are written, the counters read again before each download, a profile that
// cannot be written stopping the run before the erase or after the download,
// a serial number that outgrows its length, and the pass-counter reset.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/run/download_run.h"
#include "app/run/profile_counters.h"
#include "tests/app/run/app_fakes.h"
#include "tests/app/run/run_bench.h"

namespace fw {
namespace {

using namespace std::chrono_literals;

// One serial number of length 4 at 0x40 in the format, stepping by 1.
Project SerialProject(std::uint64_t start, int format = kSerialPlain, int repeat_delay = 0) {
  Project p;
  p.strings = {"EN", "Title", "", "", "", "", "", "", "", "chip", "", "App"};
  p.code_block.assign(100, 0x42);
  SerialNumberSettings s;
  s.enabled = true;
  s.length = 4;
  s.address = 0x40;
  s.start = SerialValue::FromUnsigned64(start);
  s.step = SerialValue::FromUnsigned64(1);
  s.format = static_cast<std::uint8_t>(format);
  p.serial_numbers[0] = s;
  p.string_settings.repeat_delay = repeat_delay;
  return p;
}

struct Bench : test::RunBench {
  using RunBench::RunBench;
  // Every flow call: the serial number's four bytes as the image receives them.
  void RecordingFlow(int result = kStepOk) {
    run.SetSerialFlow([this, result](IspLink& l, const PortEntry&) {
      held_during_flow.push_back(profile.Held());
      const auto& value = l.placements.serial_numbers[0].value;
      written.push_back(SerialValue::FromBytesLsbFirst(value).LowBytesMsbFirst(4));
      l.running = true;
      l.running = false;
      return result;
    });
  }
  std::optional<SerialValue> StoredSerial() { return ReadStoredSerials(profile)[0]; }
  void StoreSerial(std::uint64_t value) {
    std::string reason;
    profile.Write(CounterChanges(std::nullopt, {SerialValue::FromUnsigned64(value), std::nullopt}),
                  reason);
  }

  std::vector<std::vector<std::uint8_t>> written;
  std::vector<bool> held_during_flow;
};

using Bytes = std::vector<std::uint8_t>;

TEST(ProfileRunTest, TheLockIsHeldFromBeforeTheDownloadUntilTheCountersAreWritten) {
  const Project p = SerialProject(7);
  Bench b(&p);
  b.run.Initialise();
  b.RecordingFlow();
  ASSERT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(b.held_during_flow, std::vector<bool>{true});
  EXPECT_EQ(b.profile.writes, 1) << "the counters and the serial number in one write";
  EXPECT_EQ(b.profile.writes_while_locked, 1);
  EXPECT_FALSE(b.profile.Held()) << "released once written";
  EXPECT_EQ(b.StoredSerial(), SerialValue::FromUnsigned64(8));
  EXPECT_EQ(b.profile.ints["PassCounter"], 1);
  EXPECT_EQ(b.run.run_stop(), DownloadRun::RunStop::kNone);
}

// Another program of the project advanced the counters since this one read
// them (at its start, or before its last download): the next download takes
// them, and the pass counter counts on from the stored count.
TEST(ProfileRunTest, EachDownloadReadsTheCountersAgain) {
  const Project p = SerialProject(7, kSerialPlain, -1);
  Bench b(&p);
  b.run.Initialise();
  b.StoreSerial(20);  // another program's download, after this one started
  b.profile.ints["PassCounter"] = 5;
  int pass = 0;
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) {
    b.written.push_back(
        SerialValue::FromBytesLsbFirst(l.placements.serial_numbers[0].value).LowBytesMsbFirst(4));
    if (++pass == 2) b.run.StopDownload();
    return kStepOk;
  });
  ASSERT_TRUE(b.run.StartDownload(RunMode::kRepeated));
  // Another program's download in this run's repeat wait.
  ASSERT_TRUE(b.AwaitLog("Repeat after"));
  b.StoreSerial(40);
  b.profile.ints["PassCounter"] = 9;
  b.run.WaitUntilIdle();
  EXPECT_EQ(b.written, (std::vector<Bytes>{{0, 0, 0, 20}, {0, 0, 0, 40}}));
  EXPECT_EQ(b.StoredSerial(), SerialValue::FromUnsigned64(41));
  EXPECT_EQ(b.profile.ints["PassCounter"], 10);
  EXPECT_EQ(b.run.pass_counter(), 10u);
  EXPECT_EQ(b.view.Edit(SerialEdit::kFirst), "41");
}

// While another program holds the profile the run waits (and says so); a
// stop ends the wait before anything is downloaded.
TEST(ProfileRunTest, ARunWaitsForTheProfileAndAStopEndsTheWait) {
  const Project p = SerialProject(7);
  Bench b(&p);
  b.run.Initialise();
  b.RecordingFlow();
  b.profile.held_elsewhere = true;
  ASSERT_TRUE(b.run.StartDownload(RunMode::kOnce));
  ASSERT_TRUE(b.AwaitLog("Waiting for the profile /profile/App.ini"));
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(b.written.empty());
  b.profile.held_elsewhere = false;
  b.run.WaitUntilIdle();
  EXPECT_EQ(b.written, (std::vector<Bytes>{{0, 0, 0, 7}}));

  b.profile.held_elsewhere = true;
  ASSERT_TRUE(b.run.StartDownload(RunMode::kOnce));
  ASSERT_TRUE(b.AwaitLog("Waiting for the profile"));
  const auto stopped_at = std::chrono::steady_clock::now();
  b.run.StopDownload();
  b.run.WaitUntilIdle();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped_at, 500ms);
  EXPECT_EQ(b.written.size(), 1u) << "no download after the stop";
  EXPECT_EQ(b.run.last_result(), kStepStopped);
  EXPECT_NE(b.log.Text().find("Terminated !("), std::string::npos) << b.log.Text();
  EXPECT_EQ(b.profile.ints["PassCounter"], 1);
}

// A profile whose lock file cannot be had, or that cannot be written, stops
// the run before the flow (which erases), with the file and the reason.
TEST(ProfileRunTest, AProfileThatCannotBeWrittenStopsTheRunBeforeTheDownload) {
  struct Case {
    const char* name;
    std::string lock_failure;
    std::string check_failure;
  };
  const Case cases[] = {
      {"no lock file", "Not a directory", ""},
      {"not writable", "", "No space left on device"},
  };
  for (const Case& c : cases) {
    const Project p = SerialProject(7);
    Bench b(&p);
    b.profile.ints["PassCounter"] = 3;
    b.run.Initialise();
    b.RecordingFlow();
    b.profile.lock_failure = c.lock_failure;
    b.profile.check_failure = c.check_failure;
    ASSERT_TRUE(b.RunToEnd(RunMode::kRepeated)) << c.name;
    EXPECT_TRUE(b.written.empty()) << c.name;
    EXPECT_EQ(b.run.run_stop(), DownloadRun::RunStop::kProfileNotWritten) << c.name;
    const std::string reason = c.lock_failure + c.check_failure;
    const std::string line = "The profile /profile/App.ini cannot be written (" + reason +
                             "): nothing was erased, the download does not start !";
    EXPECT_NE(b.log.Text().find(line), std::string::npos) << c.name << b.log.Text();
    ASSERT_EQ(b.dialogs.Messages().size(), 1u) << c.name;
    EXPECT_EQ(b.dialogs.Messages()[0], "ERROR: " + line) << c.name;
    EXPECT_EQ(b.profile.writes, 0) << c.name;
    EXPECT_EQ(b.run.passes_this_run(), 0) << c.name;
    EXPECT_EQ(b.view.Edit(SerialEdit::kFirst), "7") << c.name;
    EXPECT_FALSE(b.profile.Held()) << c.name;
  }
}

// The chip got its firmware and number, but they could not be stored: the
// error line follows the result line, the run ends (no next chip gets the
// same number), and the window's next download takes the advanced number.
TEST(ProfileRunTest, AFailedWriteAfterTheDownloadEndsTheRun) {
  const Project p = SerialProject(7);
  Bench b(&p);
  b.profile.ints["PassCounter"] = 3;
  b.run.Initialise();
  b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) {
    b.written.push_back(
        SerialValue::FromBytesLsbFirst(l.placements.serial_numbers[0].value).LowBytesMsbFirst(4));
    LogMessage(l, "  Complete !(now)\r\n");
    b.profile.write_failure = "No space left on device";
    return kStepOk;
  });
  ASSERT_TRUE(b.RunToEnd(RunMode::kRepeated));
  EXPECT_EQ(b.written.size(), 1u) << "the run ended after the first chip";
  EXPECT_EQ(b.run.last_result(), kStepOk);
  EXPECT_EQ(b.run.run_stop(), DownloadRun::RunStop::kProfileNotWritten);
  const std::string line =
      "The profile /profile/App.ini could not be written (No space left on device): the next "
      "serial numbers (8) and the pass counter (4) are not stored; the run stops !";
  const std::string log = b.log.Text();
  const auto complete = log.find("Complete !(now)");
  ASSERT_NE(complete, std::string::npos);
  EXPECT_NE(log.find(line, complete), std::string::npos) << log;
  EXPECT_EQ(log.find("Repeat after"), std::string::npos) << log;
  EXPECT_EQ(b.dialogs.Messages(), std::vector<std::string>{"ERROR: " + line});
  EXPECT_EQ(b.profile.ints["PassCounter"], 3);
  EXPECT_EQ(b.StoredSerial(), std::nullopt);
  EXPECT_EQ(b.run.pass_counter(), 3u) << "the counter shows what is stored";
  EXPECT_EQ(b.run.passes_this_run(), 1) << "the chip itself was programmed";
  EXPECT_EQ(b.view.Edit(SerialEdit::kFirst), "8");

  // The profile mended: the next download writes 8, not 7 again.
  b.profile.write_failure.clear();
  b.RecordingFlow();
  ASSERT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(b.written.back(), (Bytes{0, 0, 0, 8}));
  EXPECT_EQ(b.StoredSerial(), SerialValue::FromUnsigned64(9));
  EXPECT_EQ(b.profile.ints["PassCounter"], 4);
}

// BCD 99999999 in four bytes is the last number: the next would reach the chip
// as 00000000. The run stops before the download that would write it, unless
// the operator chose the wrap.
TEST(ProfileRunTest, ASerialNumberThatOutgrowsItsLengthStopsBeforeTheDownload) {
  const Project p = SerialProject(99999999, kSerialBcd, -1);
  Bench b(&p);
  b.run.Initialise();
  b.RecordingFlow();
  ASSERT_TRUE(b.RunToEnd(RunMode::kRepeated));
  EXPECT_EQ(b.written, (std::vector<Bytes>{{0x99, 0x99, 0x99, 0x99}}));
  EXPECT_EQ(b.run.run_stop(), DownloadRun::RunStop::kSerialNumberFull);
  const std::string line =
      "Serial number 1 is 100000000, more than its 4 bytes hold in its format (at most "
      "99999999): nothing was erased, the run stops !";
  EXPECT_NE(b.log.Text().find(line), std::string::npos) << b.log.Text();
  EXPECT_EQ(b.dialogs.Messages(), std::vector<std::string>{"ERROR: " + line});
  EXPECT_EQ(b.run.passes_this_run(), 1);
  EXPECT_EQ(b.StoredSerial(), SerialValue::FromUnsigned64(100000000));
  EXPECT_EQ(b.profile.ints["PassCounter"], 1);

  // The next run stops at once, and so does the window's, until the operator
  // types a number that fits.
  ASSERT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(b.written.size(), 1u);
  b.view.ShowSerialText(SerialEdit::kFirst, "12");
  ASSERT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(b.written.back(), (Bytes{0x00, 0x00, 0x00, 0x12}));
  EXPECT_EQ(b.run.run_stop(), DownloadRun::RunStop::kNone);

  // With the wrap, the low bytes as they always were.
  b.view.ShowSerialText(SerialEdit::kFirst, "100000000");
  b.run.SetSerialWrap(true);
  ASSERT_TRUE(b.RunToEnd(RunMode::kOnce));
  EXPECT_EQ(b.written.back(), (Bytes{0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(b.run.run_stop(), DownloadRun::RunStop::kNone);
  EXPECT_EQ(b.StoredSerial(), SerialValue::FromUnsigned64(100000001));
}

// The reset pressed while a run works is stored by the run under its lock:
// the download that succeeds counts from 0, one that fails leaves 0.
TEST(ProfileRunTest, AResetDuringARunIsStoredByTheRun) {
  for (const int result : {kStepOk, kStepRefused}) {
    const Project p = SerialProject(7);
    Bench b(&p);
    b.profile.ints["PassCounter"] = 9;
    b.run.Initialise();
    b.run.SetSerialFlow([&](IspLink& l, const PortEntry&) {
      b.run.ResetPassCounter();  // the reset button while the chip is programmed
      l.running = false;
      return result;
    });
    ASSERT_TRUE(b.RunToEnd(RunMode::kOnce));
    const int expected = result == kStepOk ? 1 : 0;
    EXPECT_EQ(b.profile.ints["PassCounter"], expected) << result;
    EXPECT_EQ(b.run.pass_counter(), static_cast<std::uint32_t>(expected)) << result;
    EXPECT_EQ(b.profile.writes_while_locked, b.profile.writes) << result;
    EXPECT_TRUE(b.dialogs.Messages().empty()) << result;
  }
}

// Outside a run the reset waits a moment for another program's download, then
// says it could not reset; a write that fails is shown as well.
TEST(ProfileRunTest, AResetThatCannotBeStoredIsShown) {
  const Project p = SerialProject(7);
  Bench b(&p);
  b.profile.ints["PassCounter"] = 9;
  b.run.Initialise();
  b.profile.held_elsewhere = true;
  b.run.ResetPassCounter();
  EXPECT_EQ(b.profile.ints["PassCounter"], 9);
  b.profile.held_elsewhere = false;
  b.profile.write_failure = "Read-only file system";
  b.run.ResetPassCounter();
  EXPECT_EQ(b.profile.ints["PassCounter"], 9);
  EXPECT_EQ(b.dialogs.Messages(),
            (std::vector<std::string>{
                "ERROR: The pass counter was not reset: another download of this project is "
                "using the profile /profile/App.ini !",
                "ERROR: The pass counter was not reset: the profile /profile/App.ini cannot be "
                "written (Read-only file system) !"}));
}

}  // namespace
}  // namespace fw
