// A download run on fakes: a memory profile, a view, scripted dialogs and a
// log, on the serial port /dev/ttyS0; the tests give it the flows.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "app/run/download_run.h"
#include "tests/app/run/app_fakes.h"

namespace fw::test {

struct RunBench {
  explicit RunBench(const Project* project, int language = 0)
      : run(project, profile, view, dialogs, language) {
    run.link().outputs.log_sink = &log;
    run.link().outputs.echo = nullptr;
    view.SetPort(SerialPortEntry("/dev/ttyS0"));
  }
  // Starts and waits until the run has ended.
  bool RunToEnd(RunMode mode) {
    const bool started = run.StartDownload(mode);
    run.WaitUntilIdle();
    return started;
  }
  // Waits until the run has logged `text` (or gives up after 5 s).
  bool AwaitLog(const std::string& text) {
    for (int i = 0; i < 500; ++i) {
      if (log.Text().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  MemoryProfile profile;
  FakeView view;
  ScriptedDialogs dialogs;
  LockedLog log;
  DownloadRun run;
};

}  // namespace fw::test
