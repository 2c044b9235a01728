// The simulator on its pseudo-terminal: the line's rates, pacing, measurement
// sync bytes and the dump files, driven with packets built by hand.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "sim/boot_loader_sim.h"
#include "sim/oscillator_model.h"
#include "sim/sim_text.h"
#include "tests/sim/pty_host.h"

namespace fw::sim::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kFast = 115200;

SimChipConfig Chip(int family, int fw) {
  SimChipConfig c;
  c.chip_index = ChipOf(family);
  c.fw_version = fw;
  c.frequency = 11059200;
  return c;
}

class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/isp-sim-test-XXXXXX";
    path_ = ::mkdtemp(name);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits for the simulator to have written a file.
bool AwaitFile(const std::string& path) {
  for (int i = 0; i < 200; ++i) {
    if (std::filesystem::exists(path)) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

struct Line {
  explicit Line(SimChipConfig chip, SimRunConfig run = {}) : sim(chip, {}, std::move(run)) {
    std::string error;
    EXPECT_TRUE(sim.Start(error)) << error;
    host = std::make_unique<PtyHost>(sim.slave_path());
    EXPECT_TRUE(host->ok());
    EXPECT_TRUE(host->SetRate(2400));
  }
  BootLoaderSim sim;
  std::unique_ptr<PtyHost> host;
};

// Family 45 from 7.2: variant 3, 16-bit checksums, guard bytes 5A A5.
const Bytes kSwitchTo115200 = {0x01, 0x00, 0x00, 0xFF, 0xE8, 0x00, 0x00, 0x83};
const Bytes kPassword = {0x05, 0x00, 0x00, 0x5A, 0xA5};

TEST(SimPtyTest, ADownloadEndsInTheDumpsAndTheNextStatusReply) {
  TempDir dir;
  SimRunConfig run;
  run.dump_path = dir.File("flash.bin");
  run.state_path = dir.File("state.json");
  Line line(Chip(45, 0x72), run);
  PtyHost& host = *line.host;
  ASSERT_TRUE(host.Synchronise(true, 2s));
  EXPECT_EQ(line.sim.line_rate(), 2400);

  host.Send(kSwitchTo115200, true);
  ASSERT_EQ(host.Receive(true, 2s), Bytes{0x01}) << "confirmed at the old rate";
  ASSERT_TRUE(host.SetRate(kFast));
  host.Send(kPassword, true);
  ASSERT_EQ(host.Receive(true, 2s), (Bytes{0x05, 0x54}));
  host.Send({0x03, 0x00, 0x00, 0x5A, 0xA5}, true);
  const auto erased = host.Receive(true, 2s);
  ASSERT_TRUE(erased);
  EXPECT_EQ((*erased)[0], 0x03);

  // 300 bytes: two full blocks, a short one; then a record and the options.
  const Bytes image = Pattern(300, 0x21);
  for (std::size_t p = 0; p < image.size(); p += 128) {
    const std::size_t n = std::min<std::size_t>(128, image.size() - p);
    Bytes block = {static_cast<std::uint8_t>(p == 0 ? 0x32 : 0x12),
                   static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p), 0x5A, 0xA5};
    block.insert(block.end(), image.begin() + static_cast<std::ptrdiff_t>(p),
                 image.begin() + static_cast<std::ptrdiff_t>(p + n));
    host.Send(block, true);
    ASSERT_EQ(host.Receive(true, 2s), (Bytes{0x02, 0x54})) << p;
  }
  host.Send({0x02, 0x10, 0x00, 0x5A, 0xA5, 0x45, 0x67, 0x89}, true);
  ASSERT_EQ(host.Receive(true, 2s), (Bytes{0x02, 0x54}));
  Bytes options = {0x04, 0x00, 0x00, 0x5A, 0xA5};
  Bytes block(40, 0xFF);
  block[36] = 0x3C;  // Q0: shows at status byte 10
  options.insert(options.end(), block.begin(), block.end());
  host.Send(options, true);
  ASSERT_EQ(host.Receive(true, 2s), (Bytes{0x04, 0x54}));
  host.Send({0xFF}, true);

  ASSERT_TRUE(AwaitFile(run.dump_path));
  ASSERT_TRUE(AwaitFile(run.state_path));
  const std::string flash = ReadFile(run.dump_path);
  ASSERT_EQ(flash.size(), RecordOf(ChipOf(45)).code_size + RecordOf(ChipOf(45)).data_size);
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 300), image);
  EXPECT_EQ(Bytes(flash.begin() + 0x1000, flash.begin() + 0x1003), (Bytes{0x45, 0x67, 0x89}));
  EXPECT_EQ(static_cast<std::uint8_t>(flash[300]), 0xFF);
  const auto state = nlohmann::json::parse(ReadFile(run.state_path));
  EXPECT_EQ(state["downloads"], 1);
  EXPECT_EQ(state["line_rate"], kFast);
  EXPECT_EQ(state["status_bytes"]["10"], "3C");
  EXPECT_EQ(state["option_write"].get<std::string>().substr(0, 10), "0400005AA5");
  EXPECT_TRUE(state["user_key"].is_null());
  EXPECT_TRUE(line.sim.Notes().empty());

  // The next download starts at the handshake rate and sees the options.
  ASSERT_TRUE(host.SetRate(2400));
  const auto status = host.Synchronise(true, 2s);
  ASSERT_TRUE(status);
  EXPECT_EQ((*status)[10], 0x3C);
  EXPECT_EQ(line.sim.status_replies_sent(), 2);
}

TEST(SimPtyTest, BytesAtAnotherRateArriveGarbledBothWays) {
  Line line(Chip(45, 0x72));
  PtyHost& host = *line.host;
  ASSERT_TRUE(host.Synchronise(true, 2s));
  host.Send(kSwitchTo115200, true);
  ASSERT_EQ(host.Receive(true, 2s), Bytes{0x01});
  // The host forgot to move: the chip hears noise and says nothing.
  host.Send(kPassword, true);
  EXPECT_EQ(host.Receive(true, 300ms), std::nullopt);
  EXPECT_GT(line.sim.garbled_bytes(), 0);
  ASSERT_TRUE(host.SetRate(kFast));
  host.Send(kPassword, true);
  EXPECT_EQ(host.Receive(true, 2s), (Bytes{0x05, 0x54}));
}

TEST(SimPtyTest, OldVariantsAnswerTheSwitchAtTheNewRateOnceTheHostIsThere) {
  // Family 1 before 7.2: variant 0, 8-bit checksums; 8F tries, 8E moves.
  Line line(Chip(1, 0x70));
  PtyHost& host = *line.host;
  ASSERT_TRUE(host.Synchronise(false, 2s));
  const Bytes settings = {0xC0, 0xFA, 0x3F, 0x0C, 0x28};
  Bytes trial = {0x8F};
  trial.insert(trial.end(), settings.begin(), settings.end());
  trial.push_back(0x82);
  // As a flasher does, the host pauses before it moves, so its bytes have gone.
  host.Send(trial, false);
  EXPECT_EQ(host.Receive(false, 100ms), std::nullopt) << "the chip waits for the host to move";
  ASSERT_TRUE(host.SetRate(kFast));
  ASSERT_EQ(host.Receive(false, 2s), Bytes{0x8F});
  ASSERT_TRUE(host.SetRate(2400));
  Bytes move = {0x8E};
  move.insert(move.end(), settings.begin(), settings.end());
  host.Send(move, false);
  std::this_thread::sleep_for(200ms);  // the flasher's pause at 2,400 baud
  ASSERT_TRUE(host.SetRate(kFast));
  ASSERT_EQ(host.Receive(false, 2s), Bytes{0x8E});
  const std::uint16_t id = RecordOf(ChipOf(1)).id;
  host.Send({0x80, 0x00, 0x00, 0x36, 0x01, static_cast<std::uint8_t>(id >> 8),
             static_cast<std::uint8_t>(id)},
            false);
  EXPECT_EQ(host.Receive(false, 2s), Bytes{0x80});

  // A host that stays behind gets the confirmation as noise: a trial of 57,600.
  host.Send({0x8F, 0xC0, 0xF4, 0x3F, 0x18, 0x28, 0x82}, false);
  const Bytes noise = host.Drain(1500ms);
  EXPECT_FALSE(noise.empty());
  EXPECT_EQ(std::count(noise.begin(), noise.end(), 0x46), 0);
}

TEST(SimPtyTest, APacedExchangeTakesAtLeastItsLineTime) {
  SimRunConfig run;
  run.pace = true;
  Line line(Chip(45, 0x72), run);  // variant 3: a parity bit, 11 bits a byte
  PtyHost& host = *line.host;
  ASSERT_TRUE(host.Synchronise(true, 3s));
  Bytes command = kPassword;
  command.insert(command.end(), 20, 'x');
  const Bytes packet = HostPacket(command, true);
  const Bytes reply = {0x05, 0x54};
  const double line_time = (packet.size() + reply.size() + 8) * 11.0 / 2400;
  const auto start = Clock::now();
  host.Write(packet);
  ASSERT_EQ(host.Receive(true, 3s), reply);
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GE(took, line_time);
}

SimRunConfig RunWith(MeasurementModel* model) {
  SimRunConfig run;
  run.measurement = model;
  return run;
}

// Answers a measurement with nothing, or with a fixed count.
class FixedOscillator : public MeasurementModel {
 public:
  explicit FixedOscillator(bool answers) : answers_(answers) {}
  std::optional<std::vector<std::uint8_t>> Measure(const ChipTraits&,
                                                   std::span<const std::uint8_t> command, int,
                                                   std::string&) override {
    ++measured;
    if (!answers_) return std::nullopt;
    return std::vector<std::uint8_t>{command[0], 0x00, 0x12, 0x34};
  }
  int measured = 0;

 private:
  bool answers_;
};

// Families 25 and 28 measure with 65 and sync with 7F, the handshake's byte:
// a family 28 chip, synchronised, asked for a measurement.
struct Measuring {
  Measuring(bool with_model, bool answers)
      : oscillator(answers), line(Chip(28, 0x70), RunWith(with_model ? &oscillator : nullptr)) {
    EXPECT_TRUE(line.host->Synchronise(true, 2s));
    Bytes measure(36, 0x00);
    measure[0] = 0x65;
    line.host->Send(measure, true);
  }
  FixedOscillator oscillator;
  Line line;
};

TEST(SimPtyTest, SyncBytesOfAMeasurementAreNotANewHandshake) {
  {
    Measuring m(true, false);
    PtyHost& host = *m.line.host;
    // Unanswered: the host keeps syncing well past the chip's resync time.
    for (int i = 0; i < 50; ++i) {
      host.Write({0x7F});
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(host.Receive(true, 50ms), std::nullopt);
    EXPECT_EQ(m.line.sim.status_replies_sent(), 1);
    EXPECT_EQ(m.oscillator.measured, 1);
    // Once the host closes the download, 7F is a handshake again.
    host.Send({0xFF}, true);
    EXPECT_TRUE(host.Synchronise(true, 2s));
  }
  {
    Measuring m(true, true);
    PtyHost& host = *m.line.host;
    EXPECT_EQ(host.Synchronise(true, 2s), (Bytes{0x65, 0x00, 0x12, 0x34}));
    // Sync bytes already on their way when the reply came.
    host.Write({0x7F, 0x7F, 0x7F});
    EXPECT_EQ(host.Receive(true, 300ms), std::nullopt);
    EXPECT_EQ(m.line.sim.status_replies_sent(), 1);
  }
  {
    Measuring m(false, false);  // no oscillator model: refused at once
    EXPECT_EQ(m.line.host->Synchronise(true, 2s), Bytes{ChipSession::kRefused});
    EXPECT_FALSE(m.line.sim.Notes().empty());
  }
}

TEST(SimPtyTest, AMeasurementIsAnsweredOnceTheProceduresSyncBytesCame) {
  struct Case {
    const char* name;
    int family;
    int fw;
    std::uint8_t sync;
    std::uint8_t other;
  } const cases[] = {
      {"FE, families 26-52 and 53 from 7.4", 45, 0x72, 0xFE, 0x7F},
      {"66, families 53 and above before 7.4", 53, 0x73, 0x66, 0xFE},
      {"7F, families 25 and 28", 28, 0x70, 0x7F, 0x66},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OscillatorModel model;
    Line line(Chip(c.family, c.fw), RunWith(&model));
    PtyHost& host = *line.host;
    const auto status = host.Synchronise(true, 2s);
    ASSERT_TRUE(status);
    // 00 01 (80, 00), or 65 with one group (58, 80) and the timing byte of 2,400 baud.
    Bytes command = {0x00, 0x01, 0x80, 0x00};
    if (c.family == 28) {
      command = {0x65};
      command.insert(command.end(), status->begin() + 51, status->begin() + 58);
      command.insert(command.end(), {0xFF, 0xFF, 0x06, 0x01, 0x58, 0x80, 0x02, 0x00});
    }
    host.Send(command, true);
    host.Write({c.other, c.other, c.other});
    EXPECT_EQ(host.Receive(true, 150ms), std::nullopt) << "another procedure's sync bytes";
    host.Write({c.sync});
    EXPECT_EQ(host.Receive(true, 100ms), std::nullopt) << "one sync byte is not enough";
    host.Write({c.sync});
    const auto reply = host.Receive(true, 1s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), command.size());
    EXPECT_EQ((*reply)[0], command[0]);
    const auto notes = line.sim.Notes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("measure: " + HexByte(c.other)), std::string::npos) << notes[0];
    // Sync bytes still on their way start no handshake.
    host.Write({c.sync, c.sync, 0x7F, 0x7F, 0x7F});
    EXPECT_EQ(host.Receive(true, 300ms), std::nullopt);
    EXPECT_EQ(line.sim.status_replies_sent(), 1);
  }
}

// A host that trims by brute force: it measures the whole range of a family 45
// chip, takes the trim and divider closest to its target, measures the quarter
// steps around it and programs the best.
TEST(SimPtyTest, ATrimTheHostProgramsSetsTheClockTheChipRunsAt) {
  constexpr double kTarget = 11059200;
  TempDir dir;
  OscillatorModel model;
  SimRunConfig run = RunWith(&model);
  run.state_path = dir.File("state.json");
  Line line(Chip(45, 0x72), run);
  PtyHost& host = *line.host;
  ASSERT_TRUE(host.Synchronise(true, 2s));

  auto measure = [&](const std::vector<std::pair<int, int>>& pairs) {
    Bytes command = {0x00, static_cast<std::uint8_t>(pairs.size())};
    for (const auto& [trim, range] : pairs) {
      command.push_back(static_cast<std::uint8_t>(trim));
      command.push_back(static_cast<std::uint8_t>(range));
    }
    host.Send(command, true);
    std::optional<Bytes> reply;
    for (int i = 0; i < 100 && !reply; ++i) {
      host.Write({0xFE});
      reply = host.Receive(true, 10ms);
    }
    std::vector<double> frequencies;  // H x count / 2
    for (std::size_t i = 0; reply && 2 + 2 * i + 1 < reply->size(); ++i) {
      frequencies.push_back(2400.0 * ((*reply)[2 + 2 * i] << 8 | (*reply)[3 + 2 * i]) / 2);
    }
    return frequencies;
  };
  struct Best {
    int trim = 0, range = 0, divider = 1;
    double error = 1e12;
  } best;
  auto consider = [&](const std::vector<std::pair<int, int>>& pairs) {
    const auto f = measure(pairs);
    ASSERT_EQ(f.size(), pairs.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
      for (int divider = 1; divider <= 63; ++divider) {
        const double error = std::abs(f[i] / divider - kTarget);
        if (error < best.error) best = {pairs[i].first, pairs[i].second, divider, error};
      }
    }
  };
  std::vector<std::pair<int, int>> sweep;
  for (int trim = 0; trim < 256; trim += 4) sweep.push_back({trim, 0});
  consider(sweep);
  std::vector<std::pair<int, int>> around;
  for (int trim = std::max(0, best.trim - 3); trim <= std::min(255, best.trim + 3); ++trim) {
    for (int quarter = 0; quarter < 4; ++quarter) around.push_back({trim, quarter});
  }
  consider(around);
  const auto reached = static_cast<std::uint32_t>(std::lround(kTarget + best.error));

  // The option block of families 45-52: A at 24-27, trim 28, quarter step 29, divider 30.
  Bytes options = {0x04, 0x00, 0x00, 0x5A, 0xA5};
  Bytes block(40, 0xFF);
  for (int i = 0; i < 4; ++i) block[24 + i] = static_cast<std::uint8_t>(reached >> (24 - 8 * i));
  block[28] = static_cast<std::uint8_t>(best.trim);
  block[29] = static_cast<std::uint8_t>(best.range);
  block[30] = static_cast<std::uint8_t>(best.divider);
  options.insert(options.end(), block.begin(), block.end());
  host.Send(options, true);
  ASSERT_EQ(host.Receive(true, 2s), (Bytes{0x04, 0x54}));
  host.Send({0xFF}, true);

  ASSERT_TRUE(AwaitFile(run.state_path));
  const auto state = nlohmann::json::parse(ReadFile(run.state_path));
  EXPECT_NEAR(state["clock"].get<double>(), kTarget, kTarget * 0.01);
  EXPECT_EQ(state["trim"]["trim"], best.trim);
  EXPECT_EQ(state["trim"]["range"], best.range);
  EXPECT_EQ(state["trim"]["divider"], best.divider);
  EXPECT_TRUE(line.sim.Notes().empty());

  // The next status reply: the clock's count at byte 13, the frequency written at 1-4.
  const auto status = host.Synchronise(true, 2s);
  ASSERT_TRUE(status);
  EXPECT_NEAR(2400.0 * ((*status)[13] << 8 | (*status)[14]), state["clock"].get<double>(), 1200);
  EXPECT_EQ(Bytes(status->begin() + 1, status->begin() + 5),
            Bytes(block.begin() + 24, block.begin() + 28));
}

}  // namespace
}  // namespace fw::sim::test
