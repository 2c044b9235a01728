// How the chip is reached and the rate the download settled on; the rates it
// may use are the request's.
#pragma once

namespace fw {

enum class LinkKind { kSerialPort = 0, kUsbWriter = 1 };

struct SerialSettings {
  LinkKind link_kind = LinkKind::kSerialPort;
  // The rate the baud switch chose: the handshake rate when none fits; 0
  // before the switch.
  int switched_baud = 0;
};

}  // namespace fw
