// What the download worker puts into the re-initialised link before each
// download: the project's chip, option bytes and download parameters, the
// prepared serial numbers, the image and the board blocks.
#pragma once

#include <array>

#include "app/project/project.h"
#include "app/run/serial_numbers.h"
#include "isp/link/target_identity.h"

namespace fw {

class IspLink;

// The rates of the baud table, by index.
constexpr std::array<int, 10> kBaudTable = {1200,  2400,  4800,  9600,  14400,
                                            19200, 28800, 38400, 57600, 115200};
constexpr int kDefaultLowestBaudIndex = 1;
constexpr int kDefaultHighestBaudIndex = 9;

// The run's own choices that the project does not hold.
struct RunChoices {
  int run_mode = 2;
  int language = 0;
  int lowest_baud_index = kDefaultLowestBaudIndex;
  int highest_baud_index = kDefaultHighestBaudIndex;
  // Leave out the information lines even when the project keeps them.
  bool quiet_information = false;
};

// The rate of a baud index; an index outside the table gives the rate of
// fallback_index.
int BaudOfIndex(int index, int fallback_index);

// The alternative ids for an expected chip id: the id itself in every slot,
// except that 0xF569 and 0xF56D, which answer with each other's id, have the
// other one first.
std::array<int, TargetIdentity::kAlternativeIdSlots> AlternativeIds(int chip_id);

// Chip name (project string 9), expected chip and its alternative ids, option
// bytes, the download parameters, and the board blocks (the board program in
// run mode 4 only).
void CopyDownloadParameters(const Project& project, const RunChoices& choices, IspLink& link);

// The serial numbers of this download, as the image receives them.
void PlaceSerialNumbers(const std::array<PreparedSerial, SerialNumbers::kCount>& serials,
                        IspLink& link);

// The image source: the code block at 0 and the data block at its offset,
// 0xFF elsewhere, its length raised to a multiple of 512; without the program
// variant each enabled serial number's area is 0xFF.
void BuildImageSource(const Project& project, IspLink& link);

}  // namespace fw
