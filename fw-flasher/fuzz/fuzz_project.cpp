// libFuzzer target: arbitrary bytes as project data, plain and scrambled, into
// the parser and the load-time limits.
#include <cstddef>
#include <cstdint>
#include <span>

#include "app/project/project_format.h"
#include "app/project/project_loader.h"
#include "app/project/project_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const fw::ProjectParseResult parsed = fw::ParseProjectContainer(bytes);
  if (parsed.project) {
    // Whatever was accepted keeps its values inside the link's buffers.
    const fw::Project& p = *parsed.project;
    namespace pf = fw::project_format;
    // ... and carries its firmware.
    if (p.code_block.empty() || p.code_block.size() > pf::kImageBufferSize ||
        (p.user_key && p.user_key->size() > pf::kUserKeyMaxSize))
      __builtin_trap();
    for (int k = -1; k < 20; ++k) (void)p.String(k);
  }
  (void)fw::LoadBareBlock(bytes);
  return 0;
}
