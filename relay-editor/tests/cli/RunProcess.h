#pragma once
// Runs a program with arguments and collects its exit code and output, with a
// bound on the time it may take.

#include <chrono>
#include <string>
#include <vector>

namespace relay::test {

struct ProcessResult {
  int exitCode = -1;  // -1 when it did not exit by itself (killed on time-out)
  std::string out;
  std::string err;
  bool timedOut = false;
};

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit = std::chrono::seconds(20));

}  // namespace relay::test
