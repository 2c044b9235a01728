#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "DeviceRecorders.h"
#include "TestSupport.h"
#include "device/DeviceImage.h"
#include "device/DeviceOperations.h"
#include "model/HexText.h"
#include "model/ProgramList.h"
#include "sim/RelaySim.h"

namespace relay::device {
namespace {

using namespace std::chrono_literals;
using relay::testing::DrainFor;
using relay::testing::DrainUntil;
using relay::testing::TRecordingUi;
using Outcome = TDeviceOutcome;
using Command = TDeviceCommand;

const std::vector<std::string> kProgram = {
    "02 80 01 83",                          // open channels 1 and 16
    "04 00 0A 0E",                          // wait 1 s
    "86 00 02 87 C2 00 32 0A 0B 41 42 9B",  // serial trigger, ASCII pattern
    "00 FF FF FE",                          // loop for ever
};

std::vector<std::string> HexTexts(const model::ProgramList& list) { return list.HexTexts(); }

sim::TSector SectorOf(const std::string& leadingHex) {
  sim::TSector s;
  s.fill(0xFF);
  const auto bytes = model::HexTextToBytes(leadingHex);
  std::copy(bytes.begin(), bytes.end(), s.begin());
  return s;
}

// The operations on a real pseudo-terminal with relay-sim answering on the other side.
class DeviceOperationsTest : public ::testing::Test {
 protected:
  DeviceOperationsTest() : comm(queue), ops(comm, queue, list, ui, ui, &ui, &ui) {}
  ~DeviceOperationsTest() override {
    if (ops.PortOpen()) ops.PressPortButton("", "");
  }

  void StartSimulator(sim::TRelaySimOptions options = {}) {
    simulator = std::make_unique<sim::TRelaySimulator>(std::move(options));
    simulator->Start();
    ops.PressPortButton(simulator->SlavePath(), "9600");
    ASSERT_TRUE(ops.PortOpen());
  }

  void Fill(const std::vector<std::string>& entries) {
    list.Clear();
    for (const auto& e : entries) ASSERT_TRUE(list.Store(e, model::StoreMode::Add));
  }

  bool WaitEnded(Command command, std::chrono::milliseconds limit = 10s) {
    return DrainUntil(
        queue,
        [&] {
          for (const auto& e : ui.ended)
            if (e.first == command) return true;
          return false;
        },
        limit);
  }

  TCallQueue queue;
  TComm comm;
  model::ProgramList list;
  TRecordingUi ui;
  TDeviceOperations ops;
  std::unique_ptr<sim::TRelaySimulator> simulator;
};

TEST_F(DeviceOperationsTest, WriteThenReadGivesTheProgramBack) {
  StartSimulator();
  Fill(kProgram);
  ui.answers = {true};  // restart after writing
  ops.WriteAll();
  ASSERT_TRUE(WaitEnded(Command::Write));
  EXPECT_TRUE(ui.EndedWith(Command::Write, Outcome::Done));
  EXPECT_EQ(ui.progressMaximum, 32);
  EXPECT_EQ(ui.progress, 32);
  ASSERT_EQ(ui.progressTrail.size(), 32u);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(ui.progressTrail[static_cast<std::size_t>(i)], i + 1);
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], std::string("警告！|") + texts::kRestartAfterWrite);
  EXPECT_EQ(ops.WriteCounter(), 0);
  EXPECT_EQ(ui.progressText, texts::kProgressWritten);
  ASSERT_TRUE(DrainUntil(queue, [&] { return simulator->RestartsSeen() == 1; }));
  EXPECT_EQ(model::BytesToHexText(simulator->Sector()) + " ", BuildDeviceImage(kProgram));
  EXPECT_EQ(simulator->AnswersSent(), 32);

  ops.ReadFromDevice();
  ASSERT_TRUE(WaitEnded(Command::Read));
  EXPECT_TRUE(ui.EndedWith(Command::Read, Outcome::Done));
  EXPECT_EQ(ops.ReadCounter(), 32);  // stays until the next command
  const std::vector<std::string> expected = {"02 80 01 83", "04 00 0A 0E",
                                             "86 00 02 87 C2 00 32 0A 0B 41 42 9B ", "00 FF FF FE"};
  EXPECT_EQ(HexTexts(list), expected);
  EXPECT_EQ(list.Entries()[3].position, 4);
  EXPECT_FALSE(list.Entries()[0].listingText.empty());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.progressText, "读取完成：共 4 条指令");
}

TEST_F(DeviceOperationsTest, ReadAfterWriteAgainWithoutOptimisingKeepsTheBytes) {
  // A read-back serial trigger carries a trailing blank; writing it again must not
  // shift the bytes behind it.
  StartSimulator();
  simulator->SetSector(SectorOf("86 00 02 87 C2 00 32 0A 0B 41 42 9B 02 80 01 83"));
  ops.ReadFromDevice();
  ASSERT_TRUE(WaitEnded(Command::Read));
  ui.ended.clear();
  ui.defaultAnswer = false;
  ops.WriteAll();
  ASSERT_TRUE(WaitEnded(Command::Write));
  EXPECT_EQ(simulator->Sector(), SectorOf("86 00 02 87 C2 00 32 0A 0B 41 42 9B 02 80 01 83"));
  EXPECT_EQ(simulator->RestartsSeen(), 0);
}

// Characters that are no hex text would become stray bytes shifting every later
// Instruction: such a program is not written at all, and the warning names the entry.
TEST_F(DeviceOperationsTest, AProgramWithAnEntryThatIsNoHexTextIsNotWritten) {
  struct TCase {
    const char* name;
    std::vector<std::string> entries;
    const char* position;
  };
  std::vector<std::string> withoutBlanks(130, "0280 0183");  // lists as 390 / 512
  withoutBlanks.push_back("02 80 01 83");
  const TCase cases[] = {
      {"bytes written without blanks", withoutBlanks, "第 1 条"},
      {"a line of words", {"02 80 01 83", "hello world", "00 FF FF FE"}, "第 2 条"},
      {"a byte with one digit", {"04 00 01 05", "00 FF FF FE", "02 80 01 8"}, "第 3 条"},
  };
  StartSimulator();
  const sim::TSector before = SectorOf("11 22 33 44");
  simulator->SetSector(before);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ui = {};
    Fill(c.entries);
    ops.WriteAll();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "警告：");
    EXPECT_EQ(ui.messages[0].icon, TMessageIcon::Error);
    EXPECT_NE(ui.messages[0].text.find(c.position), std::string::npos) << ui.messages[0].text;
    EXPECT_TRUE(ui.EndedWith(Command::Write, Outcome::NotHexText));
    EXPECT_EQ(ops.WriteCounter(), 0);
    EXPECT_TRUE(ui.progressTrail.empty());
  }
  DrainFor(queue, 200ms);
  EXPECT_EQ(simulator->FramesSeen(), 0);
  EXPECT_EQ(simulator->Sector(), before);
}

// An entry the controller would walk differently from the list (bytes missing, a
// byte FF where an Instruction starts, a filler before the last Instruction) stops
// the write before its first frame, naming the entry.
TEST_F(DeviceOperationsTest, OnlyWholeInstructionsAreWritten) {
  struct TCase {
    const char* name;
    std::vector<std::string> entries;
    const char* says;
  };
  const TCase cases[] = {
      {"the check byte missing", {"04 00 01 05", "02 80 01", "00 FF FF FE"}, "第 2 条指令"},
      {"a trigger one byte short",
       {"85 00 01 05 00 00 00 01 02", "00 FF FF FE"},
       "第 1 条指令的字节数与指令种类不符"},
      {"FF where an Instruction starts",
       {"04 00 01 05 FF", "00 FF FF FE"},
       "第 1 条指令的第 5 个字节是 FF"},
      {"a filler before the last Instruction",
       {"02 80 01 83", "FF FF FF", "00 FF FF FE"},
       "“优化指令”会删除无效指令"},
  };
  StartSimulator();
  const sim::TSector before = SectorOf("11 22 33 44");
  simulator->SetSector(before);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ui = {};
    Fill(c.entries);
    ops.WriteAll();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "警告：");
    EXPECT_NE(ui.messages[0].text.find(c.says), std::string::npos) << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find("没有写入任何数据！"), std::string::npos);
    EXPECT_TRUE(ui.EndedWith(Command::Write, Outcome::NotWhole));
    EXPECT_TRUE(ui.progressTrail.empty());
  }
  DrainFor(queue, 200ms);
  EXPECT_EQ(simulator->FramesSeen(), 0);
  EXPECT_EQ(simulator->Sector(), before);

  // With optimising before writing the filler is gone before the check, and every
  // entry reads back; an entry of two whole Instructions is fine and reads back as two.
  ui = {};
  ui.defaultAnswer = false;
  Fill({"02 80 01 83 04 00 01 05", "FF FF FF", "86 00 02 87 C2 00 32 0A 0B 41 42 9B",
        "00 00 03 03"});
  ops.SetOptimiseBeforeWrite(true);
  ops.WriteAll();
  ASSERT_TRUE(WaitEnded(Command::Write));
  EXPECT_TRUE(ui.EndedWith(Command::Write, Outcome::Done));
  ops.SetOptimiseBeforeWrite(false);
  ops.ReadFromDevice();
  ASSERT_TRUE(WaitEnded(Command::Read));
  EXPECT_EQ(HexTexts(list),
            (std::vector<std::string>{"02 80 01 83", "04 00 01 05",
                                      "86 00 02 87 C2 00 32 0A 0B 41 42 9B ", "00 00 03 03"}));
}

TEST_F(DeviceOperationsTest, EraseThenReadGivesAnEmptyList) {
  StartSimulator();
  simulator->SetSector(SectorOf("02 80 01 83 00 FF FF FE"));
  ui.answers = {true, false};  // confirm the erase, no restart
  ops.EraseSector();
  ASSERT_TRUE(WaitEnded(Command::Erase));
  EXPECT_TRUE(ui.EndedWith(Command::Erase, Outcome::Done));
  ASSERT_EQ(ui.questions.size(), 2u);
  EXPECT_EQ(ui.questions[0], std::string("警告！|") + texts::kConfirmErase);
  EXPECT_EQ(ui.questions[1], std::string("警告！|") + texts::kRestartAfterErase);
  EXPECT_EQ(simulator->Sector(), SectorOf(""));
  EXPECT_EQ(ui.progressText, texts::kProgressErased);
  DrainFor(queue, 100ms);
  EXPECT_EQ(simulator->RestartsSeen(), 0);

  Fill({"02 80 01 83"});
  ops.ReadFromDevice();
  EXPECT_EQ(ui.progressText, "");  // nothing said while it runs
  ASSERT_TRUE(WaitEnded(Command::Read));
  EXPECT_TRUE(list.Empty());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.progressText, "读取完成：共 0 条指令");
}

TEST_F(DeviceOperationsTest, EraseDeclinedSendsNothing) {
  StartSimulator();
  ui.answers = {false};
  ops.EraseSector();
  EXPECT_TRUE(ui.EndedWith(Command::Erase, Outcome::Declined));
  DrainFor(queue, 200ms);
  EXPECT_EQ(simulator->FramesSeen(), 0);
}

TEST_F(DeviceOperationsTest, EraseAndRestartUseTheCurrentAddress) {
  sim::TRelaySimOptions options;
  options.address = 1;
  StartSimulator(options);
  ops.SetModuleAddress(1);
  ui.answers = {true, true};
  ops.EraseSector();  // the erase frame's fixed last byte 28 is no check byte at address 1
  ASSERT_TRUE(WaitEnded(Command::Erase));
  EXPECT_TRUE(ui.EndedWith(Command::Erase, Outcome::Done));
  ASSERT_TRUE(DrainUntil(queue, [&] { return simulator->RestartsSeen() == 1; }));
}

TEST_F(DeviceOperationsTest, AnotherAddressGetsNoAnswer) {
  sim::TRelaySimOptions options;
  options.address = 1;
  StartSimulator(options);
  ops.SetModuleAddress(2);
  ops.SetAnswerTimeout(300ms);
  ops.ReadFromDevice();
  ASSERT_TRUE(WaitEnded(Command::Read));
  EXPECT_TRUE(ui.EndedWith(Command::Read, Outcome::NoAnswer));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, NoAnswerMessage(Command::Read, 1, 300ms));
}

struct TFaultCase {
  const char* name;
  sim::TRelaySimOptions options;
};

class DeviceOperationsFaultTest : public DeviceOperationsTest,
                                  public ::testing::WithParamInterface<TFaultCase> {};

TEST_P(DeviceOperationsFaultTest, WriteAndReadSurviveAnswersThatArriveOddly) {
  // A shorter gap keeps the 64 exchanges quick; the pauses below are longer than it.
  comm.SetReadIntervalTimeout(20);
  StartSimulator(GetParam().options);
  Fill(kProgram);
  ui.defaultAnswer = false;
  ops.WriteAll();
  ASSERT_TRUE(WaitEnded(Command::Write, 20s));
  EXPECT_TRUE(ui.EndedWith(Command::Write, Outcome::Done));
  ops.ReadFromDevice();
  ASSERT_TRUE(WaitEnded(Command::Read, 20s));
  EXPECT_TRUE(ui.EndedWith(Command::Read, Outcome::Done));
  EXPECT_EQ(list.Size(), kProgram.size());
  EXPECT_TRUE(ui.messages.empty());
}

sim::TRelaySimOptions Split() {
  sim::TRelaySimOptions o;
  o.splitPauseMs = 60;  // beyond the gap: two chunks
  return o;
}
sim::TRelaySimOptions Noise() {
  sim::TRelaySimOptions o;
  o.noise = {0x00, 0x13, 0x7E, 0xFF};
  return o;
}
sim::TRelaySimOptions Late() {
  sim::TRelaySimOptions o;
  o.delayMs = 150;  // late, but well within the time-out
  o.splitPauseMs = 0;
  return o;
}

INSTANTIATE_TEST_SUITE_P(Faults, DeviceOperationsFaultTest,
                         ::testing::Values(TFaultCase{"split", Split()},
                                           TFaultCase{"noise", Noise()},
                                           TFaultCase{"late", Late()}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceOperationsTest, AWrongCheckByteIsNotActedOnAndTheReadTimesOut) {
  sim::TRelaySimOptions options;
  options.corruptAnswer = 3;
  StartSimulator(options);
  ops.SetAnswerTimeout(400ms);
  ops.ReadFromDevice();
  // The bad third answer is in the buffer and nothing happens with it.
  ASSERT_TRUE(DrainUntil(queue, [&] { return simulator->AnswersSent() == 3; }));
  DrainFor(queue, 200ms);
  EXPECT_EQ(ops.ReadCounter(), 3);
  EXPECT_FALSE(ops.ReceiveBuffer().empty());
  EXPECT_TRUE(ui.messages.empty());

  ASSERT_TRUE(WaitEnded(Command::Read));
  EXPECT_TRUE(ui.EndedWith(Command::Read, Outcome::NoAnswer));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].title, "警告：");
  EXPECT_EQ(ui.messages[0].icon, TMessageIcon::Error);
  EXPECT_NE(ui.messages[0].text.find("第 3 块"), std::string::npos) << ui.messages[0].text;
  EXPECT_EQ(ops.ReadCounter(), 0);
  EXPECT_EQ(ops.WriteCounter(), 0);
  EXPECT_EQ(ui.progress, 3);
  EXPECT_TRUE(list.Empty());  // cleared when the read started
}

TEST_F(DeviceOperationsTest, ASilentDeviceTimesOutAndThePortStaysUsable) {
  sim::TRelaySimOptions options;
  options.silentAfter = 5;
  StartSimulator(options);
  ops.SetAnswerTimeout(400ms);
  Fill(kProgram);
  const auto start = std::chrono::steady_clock::now();
  ops.WriteAll();
  ASSERT_TRUE(WaitEnded(Command::Write));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_TRUE(ui.EndedWith(Command::Write, Outcome::NoAnswer));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, NoAnswerMessage(Command::Write, 6, 400ms));
  EXPECT_EQ(ops.WriteCounter(), 0);
  EXPECT_EQ(ui.progress, 6);
  DrainFor(queue, 600ms);
  EXPECT_EQ(ui.messages.size(), 1u);  // one message, no repeats

  // The same port goes on working once the device answers again.
  simulator->SetSilentAfter(-1);
  ui.ended.clear();
  ops.ReadFromDevice();
  ASSERT_TRUE(WaitEnded(Command::Read));
  EXPECT_TRUE(ui.EndedWith(Command::Read, Outcome::Done));
  // Blocks 1 to 5 were written before the device fell silent; the rest still FF.
  EXPECT_EQ(HexTexts(list).size(), 4u);
}

TEST_F(DeviceOperationsTest, NoTimeoutWaitsForEver) {
  sim::TRelaySimOptions options;
  options.silentAfter = 0;
  StartSimulator(options);
  ops.SetAnswerTimeout(0ms);
  ops.ReadFromDevice();
  DrainFor(queue, 500ms);
  EXPECT_FALSE(ui.AnyEnded());
  EXPECT_EQ(ops.ReadCounter(), 1);
}

TEST_F(DeviceOperationsTest, OptimiseBeforeWriteOnAnEmptyListWritesTheEndLoop) {
  StartSimulator();
  ops.SetOptimiseBeforeWrite(true);
  ui.defaultAnswer = false;
  ops.WriteAll();
  ASSERT_TRUE(WaitEnded(Command::Write));
  EXPECT_TRUE(ui.EndedWith(Command::Write, Outcome::Done));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(simulator->Sector(), SectorOf("00 FF FF FE"));
}

TEST_F(DeviceOperationsTest, PortButtonOpensAndClosesAndLocksTheBoxes) {
  simulator = std::make_unique<sim::TRelaySimulator>(sim::TRelaySimOptions{});
  EXPECT_EQ(ops.PortButtonCaption(), "打开串口");
  ops.PressPortButton(simulator->SlavePath(), "115200");
  EXPECT_EQ(ui.caption, "关闭串口");
  EXPECT_FALSE(ui.boxesEnabled);
  EXPECT_EQ(comm.BaudRate(), 115200u);
  EXPECT_FALSE(comm.LineSettings().Outx_XonXoffFlow);
  EXPECT_FALSE(comm.LineSettings().Inx_XonXoffFlow);
  EXPECT_EQ(comm.LineSettings().Parity, TParity::None);
  EXPECT_TRUE(comm.IsOpen());
  ops.PressPortButton("ignored", "ignored");
  EXPECT_EQ(ui.caption, "打开串口");
  EXPECT_TRUE(ui.boxesEnabled);
  EXPECT_FALSE(comm.IsOpen());
}

TEST_F(DeviceOperationsTest, PortButtonErrorsLeaveThePortClosed) {
  struct TCase {
    const char* port;
    const char* baud;
    const char* message;
  };
  const TCase cases[] = {
      {"/dev/no-such-port", "9600",
       "Error opening serial port\n/dev/no-such-port: No such file or directory"},
      {"/dev/no-such-port", "96x0", "'96x0' is not a valid integer value"},
      {"/dev/no-such-port", "", "'' is not a valid integer value"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.baud);
    try {
      ops.PressPortButton(c.port, c.baud);
      ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(ops.PortButtonCaption(), "打开串口");
    EXPECT_EQ(ui.caption, "打开串口");
    EXPECT_TRUE(ui.boxesEnabled);
    EXPECT_FALSE(comm.IsOpen());
  }
}

// The receive path fed directly. The port is a bare pseudo-terminal that nothing
// answers on, so that the commands start and wait for the answers fed to them.
class DeviceOperationsOfflineTest : public DeviceOperationsTest {
 protected:
  DeviceOperationsOfflineTest() {
    ops.SetAnswerTimeout(0ms);
    ops.PressPortButton(pty.SlavePath(), "9600");
  }
  void Feed(const std::string& hex) {
    const auto bytes = model::HexTextToBytes(hex);
    ops.Receive(bytes.data(), bytes.size());
  }
  relay::testing::TPtyPair pty;
};

// Reading, writing and erasing with the port closed say so, and change neither the
// list nor the counters: reading does not clear the list, erasing asks nothing.
TEST_F(DeviceOperationsTest, CommandsWithThePortClosedSaySoAndChangeNothing) {
  struct TCase {
    const char* name;
    Command command;
    void (TDeviceOperations::*start)();
  };
  const TCase cases[] = {
      {"从设备读取", Command::Read, &TDeviceOperations::ReadFromDevice},
      {"全部写入", Command::Write, &TDeviceOperations::WriteAll},
      {"清除扇区", Command::Erase, &TDeviceOperations::EraseSector},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ui = {};
    Fill(kProgram);
    (ops.*c.start)();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "警告：");
    EXPECT_EQ(ui.messages[0].text, texts::kPortClosed);
    EXPECT_EQ(ui.messages[0].icon, TMessageIcon::Error);
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_TRUE(ui.EndedWith(c.command, Outcome::PortClosed));
    EXPECT_EQ(HexTexts(list), kProgram);
    EXPECT_EQ(ops.WriteCounter(), 0);
    EXPECT_EQ(ops.ReadCounter(), 0);
    EXPECT_TRUE(ui.progressTrail.empty());
    EXPECT_EQ(ui.progressText, texts::kProgressPortClosed);
  }
  DrainFor(queue, 100ms);
  EXPECT_EQ(ui.messages.size(), 1u);  // nothing was sent, so nothing can time out
}

TEST_F(DeviceOperationsOfflineTest, WritingAnEmptyListIsRefused) {
  ops.WriteAll();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].title, "警告：");
  EXPECT_EQ(ui.messages[0].text, "没有指令！");
  EXPECT_EQ(ui.messages[0].icon, TMessageIcon::Error);
  EXPECT_EQ(ops.WriteCounter(), 0);
  EXPECT_TRUE(ui.EndedWith(Command::Write, Outcome::NothingToWrite));
}

TEST_F(DeviceOperationsOfflineTest, AnswersWithoutACommandInProgress) {
  // A write acknowledgement while no write runs.
  Feed("24 FF 06 FF 05 00 00 00 2D");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].title, "提示：");
  EXPECT_EQ(ui.messages[0].text, "写入成功！");
  EXPECT_EQ(ui.messages[0].icon, TMessageIcon::Success);
  EXPECT_TRUE(ops.ReceiveBuffer().empty());

  // An erase acknowledgement asks about the restart.
  ui.answers = {false};
  Feed("24 FF 06 FF 00 00 00 00 28");
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], std::string("警告！|") + texts::kRestartAfterErase);

  // A read answer while no read runs stays in the buffer.
  Feed("24 FF 13 FE 01 02 80 01 83 00 FF FF FE FF FF FF FF FF FF FF FF 2F");
  EXPECT_FALSE(ops.ReceiveBuffer().empty());
  EXPECT_TRUE(ops.DeviceImage().empty());
}

TEST_F(DeviceOperationsOfflineTest, ReceiveBufferHoldsHexTextAndKeepsABadAnswer) {
  Feed("24 FF 06");
  EXPECT_EQ(ops.ReceiveBuffer(), "24 FF 06 ");
  Feed("FF 05 00 00 00 2E");  // wrong check byte
  EXPECT_EQ(ops.ReceiveBuffer(), "24 FF 06 FF 05 00 00 00 2E ");
  Feed("24 FF 06 FF 05 00 00 00 2D");  // a good one behind it is not looked at
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ops.ReceiveBuffer().size(), 54u);
}

// A line that keeps delivering bytes while nothing is in progress (noise, a device that
// chatters) must not make the buffer, and the work of every received chunk, grow without
// end; what the buffer means stays the same.
TEST_F(DeviceOperationsOfflineTest, EndlessBytesKeepTheReceiveBufferBounded) {
  const std::vector<std::uint8_t> noise(2048, 0x00);
  const std::string bad = "24 FF 06 FF 05 00 00 00 2E ";
  struct TCase {
    const char* name;
    std::string before;  // what arrives before the noise
    std::string prefix;  // what the buffer still begins with afterwards
  };
  const TCase cases[] = {
      {"noise without a start byte", "", ""},
      {"noise behind a bad answer", bad, bad},
      {"noise behind an answer of no interest", "24 FF 06 FD 00 00 00 00 26 ",
       "24 FF 06 FD 00 00 00 00 26 "},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ops.ReadFromDevice();  // clears the buffer
    ui.messages.clear();
    Feed(c.before);
    for (int i = 0; i < 200; ++i) ops.Receive(noise.data(), noise.size());
    EXPECT_LE(ops.ReceiveBuffer().size(), 3u * 4096u);
    EXPECT_EQ(ops.ReceiveBuffer().substr(0, c.prefix.size()), c.prefix);
    // After noise alone an answer is still recognised; behind a frame that was not
    // acted on, none is looked at.
    Feed("24 FF 06 FF 05 00 00 00 2D");
    EXPECT_EQ(ui.messages.size(), c.before.empty() ? 1u : 0u);
  }
}

TEST_F(DeviceOperationsOfflineTest, AReadAnswerAfterTheLastDoesNotChangeTheList) {
  // Drive a whole read through the receive path.
  ops.ReadFromDevice();  // R = 1; nothing answers but what is fed
  const std::string block1 = "02 80 01 83 00 FF FF FE FF FF FF FF FF FF FF FF";
  const std::string empty = "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF";
  for (int k = 1; k <= 32; ++k) {
    const auto data = model::HexTextToBytes(k == 1 ? block1 : empty);
    std::vector<std::uint8_t> frame = {0x24, 0xFF, 0x13, 0xFE, static_cast<std::uint8_t>(k)};
    frame.insert(frame.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (auto b : frame) sum += b;
    frame.push_back(static_cast<std::uint8_t>(sum));
    ops.Receive(frame.data(), frame.size());
  }
  EXPECT_EQ(HexTexts(list), (std::vector<std::string>{"02 80 01 83", "00 FF FF FE"}));
  EXPECT_EQ(ops.ReadCounter(), 32);
  Feed("24 FF 13 FE 01 02 80 01 83 00 FF FF FE FF FF FF FF FF FF FF FF 2F");
  EXPECT_EQ(ops.DeviceImage().size(), kImageTextLength + 48);
  EXPECT_EQ(list.Size(), 2u);
}

TEST_F(DeviceOperationsOfflineTest, ArbitraryChunksKeepTheCountersInRange) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  ui.defaultAnswer = false;
  Fill(kProgram);
  for (int round = 0; round < 2000; ++round) {
    if (round % 200 == 0) {
      if (round % 400 == 0)
        ops.ReadFromDevice();
      else
        ops.WriteAll();
    }
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(1 + byte(random) % 40));
    for (auto& b : chunk) b = static_cast<std::uint8_t>(byte(random) < 90 ? 0x24 : byte(random));
    ops.Receive(chunk.data(), chunk.size());
    ASSERT_GE(ops.ReadCounter(), 0);
    ASSERT_LE(ops.ReadCounter(), 32);
    ASSERT_GE(ops.WriteCounter(), 0);
    ASSERT_LE(ops.WriteCounter(), 32);
  }
}

}  // namespace
}  // namespace relay::device
