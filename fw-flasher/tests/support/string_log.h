// A log sink that keeps the text, for tests.
#pragma once

#include <string>

#include "isp/link/link_outputs.h"

namespace fw::test {

class StringLog : public LogSink {
 public:
  void Clear() override { text.clear(); }
  void Append(std::string_view t) override { text.append(t); }
  std::string text;
};

}  // namespace fw::test
