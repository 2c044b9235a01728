// How the chip is reached and at which rates; the application sets these from its
// settings and the project before each download.
#pragma once

namespace fw {

enum class LinkKind { kSerialPort = 0, kUsbWriter = 1 };

struct SerialSettings {
  LinkKind link_kind = LinkKind::kSerialPort;
  int handshake_baud = 2400;  // the rate of the first contact
  int highest_baud = 115200;  // the rate asked for the download
  int sync_burst = 1;         // sync bytes per burst; at most 8 are written
  bool paced_sync = false;
  int baud_pause_override = 0;  // ms before a baud change; 0 uses the table by rate
};

}  // namespace fw
