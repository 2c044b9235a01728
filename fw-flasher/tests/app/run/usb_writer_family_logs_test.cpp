// A download through the USB writer flow for one chip of every family logs
// exactly what usb_writer_logs/ holds (the times left out). Any change to what a
// family's writer download logs shows here. With FW_RECORD_LOGS=1 in the
// environment the test rewrites the expected logs from this build instead.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/run/download_run.h"
#include "app/run/usb_writer_flow.h"
#include "isp/expected_chip.h"
#include "isp/link/isp_link.h"
#include "sim/sim_usb_bus.h"
#include "target/chips/chip_table.h"
#include "tests/app/run/app_fakes.h"
#include "tests/support/string_log.h"
#include "tests/support/writer_chip.h"

namespace fw {
namespace {

constexpr int kSetFrequency = 11059200;
constexpr int kImageLength = 1000;

std::string LogFolder() { return FW_USB_WRITER_LOG_DIR; }

std::vector<std::string> ChipNames() {
  std::ifstream in(FW_FAMILY_CHIP_LIST);
  std::vector<std::string> names;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    names.push_back(line.substr(0, line.find(' ')));
  }
  return names;
}

// Elapsed times and the local time of the result line differ from run to run.
std::string Normalised(const std::string& log) {
  static const std::regex elapsed(R"(\[[0-9]+\.[0-9]{3}"\])");
  static const std::regex local_time(
      R"(\([0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\))");
  return std::regex_replace(std::regex_replace(log, elapsed, "[T\"]"), local_time, "(TIME)");
}

// One download of a 1,000-byte image through writer 1, in the given language.
std::string WriterLog(int chip_index, int language) {
  sim::SimUsbWriterConfig config = test::WriterConfigFor(chip_index);
  auto writer = std::make_shared<sim::SimUsbWriter>(config);
  sim::SimUsbBus bus;
  bus.Attach(writer, {1, {2}, 4});
  IspLink link;
  test::StringLog log;
  link.Reinitialise();
  link.outputs.echo = nullptr;
  link.outputs.log_sink = &log;
  link.request.language = language;
  ExpectChip(link, ChipTable()[static_cast<std::size_t>(chip_index)]);
  link.request.set_frequency = kSetFrequency;
  link.image.image_length = kImageLength;
  for (int k = 0; k < kImageLength; ++k) {
    link.image.image_source[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k * 7 + 3);
  }
  link.image.option_bytes[15] = 0x00;
  test::ScriptedDialogs dialogs;
  std::jthread guard([&link](std::stop_token stop) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!stop.stop_requested() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!stop.stop_requested()) link.running = false;
  });
  const int result = UsbWriterDownload(link, bus, 1, dialogs, "QMV-ISP (V6.86E)");
  std::string text = Normalised(log.text);
  for (const std::string& q : dialogs.Questions()) text += "question: " + q + "\n";
  for (const std::string& m : dialogs.Messages()) text += "message: " + m + "\n";
  return text + "result: " + std::to_string(result) + "\n";
}

std::string ChipLog(const std::string& name) {
  const int index = FindChipByName(name);
  if (index < 0) return "no chip " + name + "\n";
  std::ostringstream out;
  out << "=== " << name << ", en\n" << WriterLog(index, kLanguageEnglish);
  out << "=== " << name << ", zh\n" << WriterLog(index, kLanguageChinese);
  return out.str();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(UsbWriterFamilyLogs, EveryFamilyLogsAsRecorded) {
  const std::vector<std::string> names = ChipNames();
  ASSERT_GT(names.size(), 60u) << "chip list " << FW_FAMILY_CHIP_LIST;
  // The simulated writers take their time as real ones do (the erase above all),
  // so the chips are downloaded side by side, each through its own writer.
  std::vector<std::string> logs(names.size());
  std::atomic<std::size_t> next{0};
  {
    std::vector<std::jthread> workers;
    for (int w = 0; w < 16; ++w) {
      workers.emplace_back([&] {
        for (std::size_t k = next++; k < names.size(); k = next++) logs[k] = ChipLog(names[k]);
      });
    }
  }
  const bool record = std::getenv("FW_RECORD_LOGS") != nullptr;
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::string path = LogFolder() + "/" + names[k] + ".log";
    if (record) {
      std::ofstream out(path, std::ios::binary);
      out << logs[k];
      ASSERT_TRUE(out.good()) << path;
      continue;
    }
    EXPECT_EQ(ReadFile(path), logs[k]) << names[k] << " differs from " << path;
  }
}

}  // namespace
}  // namespace fw
