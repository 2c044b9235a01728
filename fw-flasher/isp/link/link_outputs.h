// Where the link's log lines, progress and questions go, and in which language.
// The dialog and the command line each provide their own sinks.
#pragma once

#include <cstdio>
#include <string_view>

namespace fw {

class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void Clear() = 0;
  // Appends text at the end of the log and keeps the end in view.
  virtual void Append(std::string_view text) = 0;
};

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetPosition(int percent) = 0;
};

// The system sounds that end a download: the information sound, the error sound
// and the plain one.
enum class BeepKind { kInformation, kError, kPlain };

class SoundSink {
 public:
  virtual ~SoundSink() = default;
  virtual void Beep(BeepKind kind) = 0;
};

class YesNoQuestion {
 public:
  virtual ~YesNoQuestion() = default;
  // True for Yes.
  virtual bool Ask(std::string_view text) = 0;
};

struct LinkOutputs {
  LogSink* log_sink = nullptr;
  ProgressSink* progress_sink = nullptr;
  YesNoQuestion* question = nullptr;  // null answers No
  SoundSink* sound_sink = nullptr;    // null: no sounds
  // Log lines (with LF line ends) and progress are echoed here; null for none.
  std::FILE* echo = stdout;
  // A pipe or a file wants the log lines only, not the progress that redraws itself.
  bool echo_progress = true;
  // The sinks are the application's and survive re-initialisation; the
  // language and the quiet flag are the request's.
};

}  // namespace fw
