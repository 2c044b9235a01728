// A simulated relay controller on a pseudo-terminal. The program under test opens
// SlavePath() like any serial port; the simulator answers on the master side. A client
// that ends without giving up its exclusive use of the terminal (killed, crashed) does
// not lock the simulator: once no client holds the terminal's lock any more, the
// exclusive mode is cleared.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimProtocol.h"

namespace relay::sim {

struct TRelaySimOptions {
  std::uint8_t address = 255;
  std::string sectorFile;           // empty: the sector lives in memory only
  int delayMs = 0;                  // wait before every answer
  int splitPauseMs = -1;            // >= 0: send every answer in two chunks with this pause
  std::vector<std::uint8_t> noise;  // bytes sent before every answer
  int corruptAnswer = 0;            // the n-th answer (from 1) gets a wrong check byte
  int silentAfter = -1;             // >= 0: no answers after this many
  int flipByte = -1;                // 0-511: this sector byte is stored inverted
  std::uint32_t baud = 0;           // > 0: pace the bytes in both directions like a line
  std::ostream* log = nullptr;      // frames received and sent, one line each
};

class TRelaySimulator {
 public:
  // Creates the pseudo-terminal and loads (or creates) the sector file. Throws
  // std::runtime_error with a readable message.
  explicit TRelaySimulator(TRelaySimOptions options);
  ~TRelaySimulator();
  TRelaySimulator(const TRelaySimulator&) = delete;
  TRelaySimulator& operator=(const TRelaySimulator&) = delete;

  const std::string& SlavePath() const { return slavePath_; }

  void Start();  // answers on a thread of its own
  void Stop();   // any thread; ends Run and the thread
  // Answers in the calling thread until Stop() or until `stopFd` becomes readable.
  void Run(int stopFd = -1);

  TSector Sector() const;
  void SetSector(const TSector& sector);
  // Any thread: from now on stay silent after this many answers (-1: never).
  void SetSilentAfter(int answers) { silentAfter_ = answers; }
  int AnswersSent() const { return answers_; }
  int RestartsSeen() const { return restarts_; }
  int FramesSeen() const { return frames_; }

 private:
  void Handle(const TRequest& request);
  void Answer(std::vector<std::uint8_t> frame);
  bool SendPaced(const std::uint8_t* data, std::size_t count);
  bool Sleep(std::chrono::nanoseconds span);  // false when stopped meanwhile
  bool SleepMs(int ms) { return Sleep(std::chrono::milliseconds(ms)); }
  void ReleaseAbandonedExclusiveUse();
  void SaveSector();  // throws std::runtime_error
  void SaveSectorOrWarn();
  void Log(const char* direction, const std::uint8_t* data, std::size_t count);

  TRelaySimOptions options_;
  int masterFd_ = -1;
  int slaveFd_ = -1;  // held open so the terminal survives the program closing it
  int stopFd_ = -1;
  std::string slavePath_;
  mutable std::mutex sectorMutex_;
  TSector sector_{};
  std::atomic<int> silentAfter_{-1};
  std::atomic<int> answers_{0};
  std::atomic<int> restarts_{0};
  std::atomic<int> frames_{0};
  std::thread thread_;
};

}  // namespace relay::sim
