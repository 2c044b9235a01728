#include "isp/report_after_programming.h"

#include <algorithm>

#include "isp/link/isp_link.h"
#include "isp/step_support.h"
#include "target/chips/report_options.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

constexpr int kFilledBytes = 64;
constexpr int kFamilyWithShortBlock = 45;

void PutAdjusted(std::uint8_t* rx, int at, int adjusted) {
  const auto a = static_cast<std::uint32_t>(adjusted);
  for (int i = 0; i < 4; ++i) rx[at + i] = static_cast<std::uint8_t>(a >> (24 - 8 * i));
}

// The status reply's layout filled from the option write in the send buffer.
void PutSentOptions(IspLink& link) {
  std::uint8_t* rx = link.framing.receive_buffer;
  const std::uint8_t* s = link.framing.send_buffer;
  std::fill_n(rx, kFilledBytes, 0xFF);
  const int adjusted = link.clock.adjusted_frequency;
  if (link.target.fw_version < kFirmware72) {
    rx[5] = s[64];
    rx[6] = s[65];
    rx[7] = s[66];
    PutAdjusted(rx, 8, adjusted);
    rx[12] = s[34];
    rx[37] = s[58];
  } else if (FamilyOf(link) < kFamilyWithShortBlock) {
    rx[5] = s[66];
    rx[6] = s[67];
    rx[7] = s[68];
    PutAdjusted(rx, 8, adjusted);
    rx[12] = s[36];
    rx[37] = s[60];
  } else {
    PutAdjusted(rx, 1, adjusted);
    rx[9] = s[37];
    rx[10] = s[41];
    rx[11] = s[42];
    rx[12] = s[40];
    rx[13] = s[41];
    rx[14] = s[42];
    rx[15] = s[43];
    rx[16] = s[44];
  }
}

}  // namespace

void ReportProgrammedOptions(IspLink& link, WrittenOptions source) {
  if (!link.request.quiet_information) {
    LogMessage(link, link.GetText(kMsgOptionsUpgradedTo));
  }
  switch (source) {
    case WrittenOptions::kInTheReply:
      ReportOptions(link, link.ReplyPayloadSize());
      break;
    case WrittenOptions::kAsSent:
      PutSentOptions(link);
      ReportOptions(link);
      break;
    case WrittenOptions::kLaidOutByTheFlow:
      ReportOptions(link);
      break;
  }
}

}  // namespace fw
