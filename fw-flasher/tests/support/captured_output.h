// What a command writes to its output stream, captured in memory.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace fw::test {

inline std::string CaptureOutput(const std::function<void(std::FILE*)>& run) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  run(out);
  std::fclose(out);
  std::string captured(text, size);
  std::free(text);
  return captured;
}

}  // namespace fw::test
