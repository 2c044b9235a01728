// The link's log, progress and sound outputs as the window's log edit,
// progress bar and the system's beep. The worker calls them on its own thread; the text and the
// position reach the widgets through the window's event queue, in order (and are dropped when the
// widget is gone by then).
#pragma once

#include <atomic>
#include <string_view>

#include <QString>

#include "isp/link/link_outputs.h"

class QObject;
class QPlainTextEdit;
class QProgressBar;

namespace fw {

class QtLogSink final : public LogSink {
 public:
  explicit QtLogSink(QPlainTextEdit* log) : log_(log) {}
  void Clear() override;
  void Append(std::string_view text) override;

 private:
  QPlainTextEdit* log_;  // outlives every worker
};

class QtProgressSink final : public ProgressSink {
 public:
  explicit QtProgressSink(QProgressBar* bar) : bar_(bar) {}
  void SetPosition(int percent) override;

 private:
  QProgressBar* bar_;  // outlives every worker
  // Only a change of position is handed over, so a fast loop cannot flood the queue.
  std::atomic<int> last_{-1};
};

// Every kind of sound is the system's beep.
class QtSoundSink final : public SoundSink {
 public:
  explicit QtSoundSink(QObject* context) : context_(context) {}
  void Beep(BeepKind kind) override;

 private:
  QObject* context_;  // the window; outlives every worker
};

// Appends text at the end of a log edit and keeps the end in view (on the
// edit's own thread). CR LF line ends become line breaks; a CR at the end of
// one piece and the LF at the start of the next count as one. A run of tabs
// becomes one tab (also across pieces), which the log's tab stop (SetUpLog)
// takes to the timing column.
void AppendToLog(QPlainTextEdit& log, QString text);

}  // namespace fw
