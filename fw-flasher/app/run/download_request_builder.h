// The one builder of a download's request from the project: the chip, the
// option bytes, the download parameters, the image and the board blocks, and
// each download's serial numbers. The window and fw-flash run build it through
// the run, fw-flash download from its command line (as a project of its own).
#pragma once

#include <array>

#include "app/project/baud_table.h"
#include "app/project/project.h"
#include "app/run/serial_numbers.h"
#include "isp/link/download_request.h"

namespace fw {

// What the front end asks besides the project.
struct RunChoices {
  RunMode run_mode = RunMode::kOnce;
  int language = kLanguageEnglish;
  int handshake_baud = kBaudTable[kDefaultLowestBaudIndex];
  int highest_baud = kBaudTable[kDefaultHighestBaudIndex];
  // Leave out the information lines even when the project keeps them.
  bool quiet_information = false;
};

// The alternative ids for an expected chip id: the id itself in every slot,
// except that 0xF569 and 0xF56D, which answer with each other's id, have the
// other one first.
std::array<int, TargetIdentity::kAlternativeIdSlots> AlternativeIds(int chip_id);

// Chip name (project string 9), expected chip and its alternative ids, option
// bytes, the download parameters, the image source (the code block at 0 and
// the data block at its offset, 0xFF elsewhere, its length raised to a
// multiple of 512; without the program variant each enabled serial number's
// area is 0xFF), and the board blocks (the board program in run mode 4 only).
// The serial numbers are each download's own (PlaceSerialNumbers).
DownloadRequest BuildDownloadRequest(const Project& project, const RunChoices& choices);

// The serial numbers of one download, as the image receives them.
void PlaceSerialNumbers(const std::array<PreparedSerial, SerialNumbers::kCount>& serials,
                        DownloadRequest& request);

}  // namespace fw
