// A link set up as identification leaves it for one chip of the table, on a
// responder port: the steps can run on it directly.
#pragma once

#include <cstdio>
#include <stdexcept>

#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"
#include "tests/support/chip_finder.h"
#include "tests/support/responder_port.h"
#include "tests/support/string_log.h"

namespace fw::test {

class ChipLink {
 public:
  ChipLink() {
    link.Reinitialise();
    link.port = &port;
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
    link.request.language = 0;
    link.running = true;
  }

  // The chip of the table at index, firmware version byte v; the protocol
  // variant is the record's unless given (7.2 raises 0-2 to 5, as
  // identification does).
  void Identify(int index, int v, int protocol_variant = -1) {
    if (index <= 0 || static_cast<std::size_t>(index) >= ChipTable().size()) {
      throw std::invalid_argument("no such chip in the table");
    }
    const ChipRecord& r = ChipTable()[static_cast<std::size_t>(index)];
    link.target.chip_index = index;
    link.target.chip_id = r.id;
    link.target.fw_version = v;
    link.target.baud_generator_variant = BaudGeneratorVariant(r);
    int pv = ProtocolVariant(r);
    if (v >= 0x72 && pv < 3) pv = 5;
    link.target.protocol_variant = protocol_variant >= 0 ? protocol_variant : pv;
    link.target.block_size = 128;
    std::snprintf(link.target.chip_name, sizeof link.target.chip_name, "%s", r.name);
    port.wide = link.target.protocol_variant != 0;
  }

  const ChipRecord& chip() const {
    return ChipTable()[static_cast<std::size_t>(link.target.chip_index)];
  }
  bool Logged(const std::string& text) const { return log.text.find(text) != std::string::npos; }

  ResponderPort port;
  StringLog log;
  IspLink link;
};

}  // namespace fw::test
