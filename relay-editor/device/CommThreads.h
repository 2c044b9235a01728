// The reading and writing threads of TComm and the state they share with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "device/CallQueue.h"
#include "device/SPComm.h"

namespace relay::device {

struct TCommShared {
  TCommShared(TCallQueue& q, std::weak_ptr<TComm*> o) : queue(q), owner(std::move(o)) {}
  ~TCommShared();  // closes the descriptors
  TCommShared(const TCommShared&) = delete;
  TCommShared& operator=(const TCommShared&) = delete;

  TCallQueue& queue;
  std::weak_ptr<TComm*> owner;
  int portFd = -1;
  int closeFd = -1;  // eventfd, readable once the port is being closed
  int workFd = -1;   // eventfd, readable when blocks wait for the writer

  // What the reading thread needs of the settings; written by the owner thread.
  std::atomic<std::uint32_t> readInterval{100};
  std::atomic<std::uint32_t> readTotalMultiplier{0};
  std::atomic<std::uint32_t> readTotalConstant{0};
  std::atomic<std::uint32_t> writeTotalMultiplier{0};
  std::atomic<std::uint32_t> writeTotalConstant{0};
  std::atomic<bool> parityMarked{false};
  std::atomic<bool> ignoreNullChar{false};
  std::atomic<bool> replaceWhenParityError{false};
  std::atomic<std::uint8_t> replacedChar{0};

  std::mutex sendMutex;
  std::deque<std::vector<std::uint8_t>> sendQueue;
  bool sendEmpty = true;  // guarded by sendMutex

  std::atomic<bool> readerDone{false};
  std::atomic<bool> writerDone{false};

  void Store(const TCommLineSettings& line, const TCommTimeouts& timeouts);
};

// True while the driver holds bytes not yet on the line (never known for a pseudo-terminal).
bool OutputPending(int fd);

void RunReadThread(std::shared_ptr<TCommShared> shared);
void RunWriteThread(std::shared_ptr<TCommShared> shared);

// Turns the marked bytes of a terminal with parity marking on (FF FF = FF, FF 00 x = x
// received with an error) back into plain bytes. Keeps its state across reads.
class TParityMarkDecoder {
 public:
  // Appends the decoded bytes to `out`; returns true if a byte with an error was seen.
  bool Decode(const std::uint8_t* data, std::size_t count, bool replace, std::uint8_t replacement,
              std::vector<std::uint8_t>& out);

 private:
  int state_ = 0;  // 0 plain, 1 after FF, 2 after FF 00
};

}  // namespace relay::device
