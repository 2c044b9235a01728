#include "cli/detect_command.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "isp/expected_chip.h"
#include "isp/handshake.h"
#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "target/chip_table.h"

namespace fw {

int ExitStatusOf(int step_result) {
  if (step_result == 0) return 0;
  if (step_result >= 1 && step_result <= 5) return step_result;
  return 10;
}

int RunDetect(const DetectOptions& options, std::FILE* out, YesNoQuestion* question,
              const std::atomic<bool>& stop_requested, std::string& error) {
  int chip_index = 0;
  if (!options.chip.empty()) {
    chip_index = FindChipByName(options.chip);
    if (chip_index <= 0) {
      error = "unknown chip " + options.chip;
      return -1;
    }
  }
  TermiosPort port;
  if (!port.Open(ResolvePortName(options.port))) {
    error = port.error();
    return -1;
  }

  IspLink link;
  link.Reinitialise();
  link.port = &port;
  link.echo = out;
  link.question = question;
  link.language = options.language;
  link.quiet_information = options.quiet ? 1 : 0;
  link.handshake_baud = options.baud;
  link.sync_burst = options.sync_burst;
  link.link_kind = 0;
  if (chip_index > 0) {
    ExpectChip(link, ChipTable()[static_cast<std::size_t>(chip_index)]);
  } else {
    link.accept_any_chip = 1;
  }
  link.running = true;

  // The watcher clears the running flag on a stop request or at the time-out.
  std::mutex mutex;
  std::condition_variable done_signal;
  bool done = false;
  std::thread watcher([&] {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex);
    while (!done) {
      const bool expired =
          options.timeout_seconds > 0 && std::chrono::steady_clock::now() - start >=
                                             std::chrono::duration<double>(options.timeout_seconds);
      if (stop_requested.load() || expired) {
        link.running = false;
        return;
      }
      done_signal.wait_for(lock, std::chrono::milliseconds(20));
    }
  });

  int result = Handshake(link);
  if (result == 0) result = IdentifyTarget(link);
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  done_signal.notify_all();
  watcher.join();
  return result;
}

}  // namespace fw
