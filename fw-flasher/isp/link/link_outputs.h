// Where the link's log lines, progress and questions go. The dialog and the
// command line each provide their own.
#pragma once

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

class YesNoQuestion {
 public:
  virtual ~YesNoQuestion() = default;
  // True for Yes.
  virtual bool Ask(std::string_view text) = 0;
};

}  // namespace fw
