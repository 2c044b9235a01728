// Handshake and identification over a pseudo-terminal against the simulator.
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "isp/handshake.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/sim_session.h"

namespace fw {
namespace {

using namespace std::chrono_literals;
using test::ChipOfFamily;
using test::SimSession;

sim::SimChipConfig ChipConfig(int index, int reply = 0x00) {
  sim::SimChipConfig c;
  c.chip_index = index;
  c.reply_code = reply;
  return c;
}

TEST(HandshakePtyTest, ReplyCodes) {
  struct Case {
    const char* name;
    int family;
    int reply;
  } const cases[] = {
      {"00, 8-bit checksums", 1, 0x00},
      {"8F", 11, 0x8F},
      {"50", 45, 0x50},
      {"80 then 50, 8-bit", 3, 0x80},
      {"80 then 50, 16-bit", 27, 0x80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int index = ChipOfFamily(c.family);
    SimSession s(ChipConfig(index, c.reply));
    s.Open(index);
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk) << s.log.text;
    EXPECT_EQ(s.link.framing.receive_buffer[0], c.reply == 0x80 ? 0x50 : c.reply);
    EXPECT_TRUE(s.Logged("Checking target MCU ... \r\n"));
    const auto packets = s.sim().HostPackets();
    if (c.reply == 0x80) {
      ASSERT_EQ(packets.size(), 1u);
      EXPECT_EQ(packets[0], std::vector<std::uint8_t>{0x80});
    } else {
      EXPECT_TRUE(packets.empty());
    }
    ASSERT_EQ(IdentifyTarget(s.link), kStepOk) << s.log.text;
    EXPECT_EQ(s.link.target.chip_index, index);
  }
}

TEST(HandshakePtyTest, UnexpectedReplyCodeIsRefused) {
  const int index = ChipOfFamily(11);
  SimSession s(ChipConfig(index, 0x33));
  s.Open(index);
  test::Countdown bound(s.link, 8s);
  EXPECT_EQ(Handshake(s.link), kStepRefused);
}

TEST(HandshakePtyTest, PortIsConfiguredForTheExpectedChip) {
  for (int family : {1, 11}) {
    SCOPED_TRACE(family);
    const int index = ChipOfFamily(family);
    SimSession s(ChipConfig(index));
    s.Open(index);
    s.link.request.handshake_baud = 4800;
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk);
    ASSERT_FALSE(s.recording().lines_set.empty());
    const LineSettings& line = s.recording().lines_set.back();
    EXPECT_EQ(line.baud, 4800);
    EXPECT_EQ(line.parity, family == 1 ? Parity::kNone : Parity::kEven);
  }
}

TEST(HandshakePtyTest, SyncBurstIsCappedAtEight) {
  const int index = ChipOfFamily(11);
  SimSession s(ChipConfig(index));
  s.Open(index);
  s.link.request.sync_burst = 20;
  test::Countdown bound(s.link, 8s);
  ASSERT_EQ(Handshake(s.link), kStepOk);
  const auto& writes = s.recording().writes;
  ASSERT_FALSE(writes.empty());
  for (const auto& w : writes) {
    EXPECT_EQ(w.size(), 8u);
    EXPECT_EQ(std::count(w.begin(), w.end(), 0x7F), 8);
  }
}

TEST(HandshakePtyTest, UnknownAndWrongChip) {
  const int index = ChipOfFamily(45);
  {
    auto config = ChipConfig(index);
    config.id_override = 0x0123;  // in no record
    SimSession s(config);
    s.Open(index);
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk);
    EXPECT_EQ(IdentifyTarget(s.link), kStepRefused);
    EXPECT_TRUE(s.Logged("  Unknown MCU type\r\n"));
  }
  {
    auto config = ChipConfig(index);
    config.short_reply = true;
    SimSession s(config);
    s.Open(index);
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk);
    EXPECT_EQ(s.link.framing.received_length, 23);
    EXPECT_EQ(IdentifyTarget(s.link), kStepRefused);
    EXPECT_EQ(s.link.target.chip_id, 0xFFFF);
  }
  {
    const int other = ChipOfFamily(46);
    SimSession s(ChipConfig(other));
    s.Open(index);
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk);
    EXPECT_EQ(IdentifyTarget(s.link), kStepWrongChip);
    EXPECT_TRUE(s.Logged("  MCU type: " + std::string(ChipTable()[other].name) + "\r\n"));
    EXPECT_TRUE(s.Logged("MCU type is incorrect .\r\n"));
  }
}

TEST(HandshakePtyTest, AlternativeIds) {
  const int index = ChipOfFamily(11, true);
  ASSERT_GT(index, 0);
  const ChipRecord& r = ChipTable()[index];
  {
    // The chip reports the record's second id.
    auto config = ChipConfig(index);
    config.report_alt_id = true;
    SimSession s(config);
    s.Open(index);
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk);
    EXPECT_EQ(s.link.framing.receive_buffer[20] << 8 | s.link.framing.receive_buffer[21], r.alt_id);
    EXPECT_EQ(IdentifyTarget(s.link), kStepOk);
    EXPECT_EQ(s.link.target.chip_id, r.id);
  }
  {
    // The project accepts the chip as an alternative to the one it expects.
    const int expected = ChipOfFamily(12);
    SimSession s(ChipConfig(index));
    s.Open(expected);
    s.link.target.alternative_ids[2] = r.id;
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk);
    EXPECT_EQ(IdentifyTarget(s.link), kStepOk);
    EXPECT_STREQ(s.link.target.chip_name, r.name);
  }
}

TEST(HandshakePtyTest, VersionAndBuildFromTheSimulatedChip) {
  struct Case {
    int version, letter, build;
    const char* line;
  } const cases[] = {
      {0x72, 'C', 5, "  F/W version: 7.2.5C\r\n"},
      {0x71, 'S', 3, "  F/W version: 7.1.3S\r\n"},
      {0x66, 'C', 7, "  F/W version: 6.6.7C\r\n"},
      {0x66, 'A', 0, "  F/W version: 6.6A\r\n"},
  };
  const int index = ChipOfFamily(53);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto config = ChipConfig(index);
    config.fw_version = c.version;
    config.fw_letter = c.letter;
    config.fw_build = c.build;
    SimSession s(config);
    s.Open(index);
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk);
    ASSERT_EQ(IdentifyTarget(s.link), kStepOk);
    EXPECT_EQ(s.link.target.fw_build, c.build);
    EXPECT_TRUE(s.Logged(c.line)) << s.log.text;
  }
}

TEST(HandshakePtyTest, SimulatedOptionBytesAndClockReachTheReport) {
  struct Case {
    const char* name;
    int family;
    int fw;
    std::vector<std::uint8_t> options;
    int frequency;
    std::vector<const char*> lines;
    int reply = 0x00;
  } const cases[] = {
      {"E classic: options at 23..27",
       13,
       0x66,
       {0x70, 0x00, 0x27, 0xFF, 0xFC},
       11059200,
       {"  . Current system clock source is internal IRC oscillator\r\n",
        "  . Waiting for oscillator stable : 32768\r\n",
        "  . Current clock frequency: 11.059MHz\r\n",
        "  . P1.0 and P1.1 need to be low for next download\r\n"}},
      {"A 7.2: O0 at 1",
       3,
       0x72,
       {0x00},
       22118400,
       {"  . System use 6T(double speed) mode\r\n", "  . Current clock frequency: 22.118MHz\r\n"}},
      {"I: options in the reply",
       45,
       0x72,
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
       24000000,
       {"  . Thresh voltage level of the built-in LVD : 2.20 V\r\n",
        "  . IRC frequency: 24.000MHz\r\n"}},
      // The status reply that confirms 80 is decoded like any other.
      {"A 7.2 after 80 then 50",
       3,
       0x72,
       {0xFF},
       11059200,
       {"  . System use 12T mode\r\n", "  . Current clock frequency: 11.059MHz\r\n"},
       0x80},
      {"C classic after 80 then 50",
       7,
       0x66,
       {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xBF},
       11059200,
       {"  . Current system clock source is external crystal oscillator\r\n",
        "  . Current clock frequency: 11.059MHz\r\n",
        "  . Thresh voltage level of the built-in LVD : "},
       0x80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int index = ChipOfFamily(c.family);
    auto config = ChipConfig(index, c.reply);
    config.fw_version = c.fw;
    config.options = c.options;
    config.frequency = c.frequency;
    SimSession s(config);
    s.Open(index);
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk);
    ASSERT_EQ(IdentifyTarget(s.link), kStepOk);
    EXPECT_NEAR(s.link.clock.measured_frequency, c.frequency, c.frequency / 1000);
    for (const char* line : c.lines) EXPECT_TRUE(s.Logged(line)) << line << "\n" << s.log.text;
  }
}

TEST(HandshakePtyTest, StopEndsTheHandshakeWhenNobodyAnswers) {
  int master = -1, slave = -1;
  char name[128];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  TermiosPort port;
  ASSERT_TRUE(port.Open(name)) << port.error();
  IspLink link;
  link.outputs.echo = nullptr;
  link.port = &port;
  link.running = true;
  const auto start = std::chrono::steady_clock::now();
  test::Countdown stop(link, 300ms);
  EXPECT_EQ(Handshake(link), kStepStopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  port.Close();
  ::close(slave);
  ::close(master);
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The other side of the line goes away in the middle of the handshake (as when a
// USB serial adapter is pulled out): the step ends with the port's name in the
// log instead of spinning, while the silent line before it was simply waited on.
TEST(HandshakePtyTest, PortThatGoesAwayEndsTheHandshakeWithoutSpinning) {
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  const std::string name = pty.slave_path();
  TermiosPort port;
  ASSERT_TRUE(port.Open(name)) << port.error();
  test::StringLog log;
  IspLink link;
  link.outputs.echo = nullptr;
  link.outputs.log_sink = &log;
  link.request.language = kLanguageEnglish;
  link.port = &port;
  link.running = true;
  test::Countdown bound(link, 6s);

  std::atomic<bool> returned{false};
  std::atomic<bool> returned_before_close{false};
  std::thread peer([&] {
    std::this_thread::sleep_for(400ms);
    returned_before_close = returned.load();
    pty.CloseMaster();
  });
  const double cpu_before = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const StepResult result = Handshake(link);
  returned = true;
  const auto took = std::chrono::steady_clock::now() - start;
  const double cpu = ProcessCpuSeconds() - cpu_before;
  peer.join();

  EXPECT_FALSE(returned_before_close) << "a silent line is waited on";
  EXPECT_EQ(result, kStepFailedLogged);
  EXPECT_TRUE(link.running) << "ended by the loss, not by the bound";
  EXPECT_LT(took, 3s);
  EXPECT_NE(log.text.find("The port " + name + " is gone"), std::string::npos) << log.text;
  // A spinning loop would burn the whole time on the CPU.
  EXPECT_LT(cpu, 0.8) << "CPU seconds over " << std::chrono::duration<double>(took).count() << " s";
}

// fw-flash detect without --chip: a chip of another protocol variant than 0 is
// found too, also when it asks for the confirmation that needs its own framing.
TEST(HandshakePtyTest, AnyChipAdoptsTheFramingOfTheReply) {
  struct Case {
    const char* name;
    int family;
    int reply;
  } const cases[] = {
      {"variant 0, 80 then 50", 1, 0x80},
      {"variant 3, 80 then 50", 11, 0x80},
      {"variant 3, 00", 11, 0x00},
      {"family 27, 80 then 50", 27, 0x80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int index = ChipOfFamily(c.family);
    SimSession s(ChipConfig(index, c.reply));
    s.Open(0);
    s.link.target = TargetIdentity{};
    s.link.target.accept_any_chip = true;
    test::Countdown bound(s.link, 8s);
    ASSERT_EQ(Handshake(s.link), kStepOk) << s.log.text;
    EXPECT_EQ(s.link.target.protocol_variant != 0, ProtocolVariant(ChipTable()[index]) != 0);
    const LineSettings& line = s.recording().lines_set.back();
    EXPECT_EQ(line.parity,
              ProtocolVariant(ChipTable()[index]) != 0 ? Parity::kEven : Parity::kNone);
    ASSERT_EQ(IdentifyTarget(s.link), kStepOk) << s.log.text;
    EXPECT_EQ(s.link.target.chip_index, index);
  }
}

// While nothing is known of the chip and nothing answers, the line tries both
// framings in turn; with a chip named it keeps the chip's.
TEST(HandshakePtyTest, SilentLineAlternatesParityOnlyWhenTheChipIsUnknown) {
  for (const bool any_chip : {true, false}) {
    SCOPED_TRACE(any_chip ? "any chip" : "chip named");
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    TermiosPort inner;
    ASSERT_TRUE(inner.Open(pty.slave_path())) << inner.error();
    test::RecordingPort port(inner);
    IspLink link;
    link.outputs.echo = nullptr;
    link.port = &port;
    link.target.accept_any_chip = any_chip;
    link.running = true;
    test::Countdown stop(link, 1300ms);
    EXPECT_EQ(Handshake(link), kStepStopped);
    int even = 0;
    int none = 0;
    for (const LineSettings& line : port.lines_set) {
      even += line.parity == Parity::kEven;
      none += line.parity == Parity::kNone;
    }
    EXPECT_GT(none, 0);
    if (any_chip) {
      EXPECT_GT(even, 0);
    } else {
      EXPECT_EQ(even, 0);
    }
  }
}

TEST(HandshakePtyTest, SecondExchangeTimesOutWithoutAVerifiedConfirmation) {
  // A chip that answers 80 but never confirms: a protocol-0 host expects 8-bit
  // checksums, the chip sends 16-bit ones, so the confirmation never verifies.
  const int chip = ChipOfFamily(11);
  const int expected = ChipOfFamily(1);
  SimSession s(ChipConfig(chip, 0x80));
  s.Open(expected);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Handshake(s.link), kStepTimedOut);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 4900ms);
  EXPECT_LT(took, 8s);
}

}  // namespace
}  // namespace fw
