#include "isp/report_after_programming.h"

#include <algorithm>

#include "isp/link/isp_link.h"
#include "isp/step_support.h"
#include "target/chips/link_chip.h"
#include "target/chips/option_lines.h"
#include "target/chips/report_options.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

void PutAdjusted(StatusBytes& rx, int at, int adjusted) {
  const auto a = static_cast<std::uint32_t>(adjusted);
  for (int i = 0; i < 4; ++i) {
    rx[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(a >> (24 - 8 * i));
  }
}

// The report on `source`; what lasts of its reading is kept in the link.
void Report(IspLink& link, const OptionSource& source) {
  const OptionReading reading = ReadOptions(link, source);
  ApplyOptionReading(link, reading);
  LogOptionLines(link, DescribeOptions(link, reading));
}

void LogUpgradedTo(IspLink& link) {
  if (!link.request.quiet_information) {
    LogMessage(link, link.GetText(kMsgOptionsUpgradedTo));
  }
}

}  // namespace

StatusBytes SentOptionsLayout(const IspLink& link) {
  StatusBytes rx;
  rx.fill(0xFF);
  const std::uint8_t* s = link.framing.send_buffer;
  const int adjusted = link.clock.adjusted_frequency;
  if (link.target.fw_version < kFirmware72) {
    rx[5] = s[64];
    rx[6] = s[65];
    rx[7] = s[66];
    PutAdjusted(rx, 8, adjusted);
    rx[12] = s[34];
    rx[37] = s[58];
  } else if (TraitsOf(link).status_layout == StatusLayout::kClockAt8) {
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
  return rx;
}

void ReportProgrammedOptions(IspLink& link, WrittenOptions source) {
  switch (source) {
    case WrittenOptions::kInTheReply:
      LogUpgradedTo(link);
      Report(link, ReceivedOptions(link, link.ReplyPayloadSize()));
      break;
    case WrittenOptions::kAsSent:
      ReportProgrammedOptions(link, SentOptionsLayout(link));
      break;
  }
}

void ReportProgrammedOptions(IspLink& link, const StatusBytes& laid_out) {
  LogUpgradedTo(link);
  std::copy(laid_out.begin(), laid_out.end(), link.framing.receive_buffer);
  Report(link, {std::span<const std::uint8_t>(laid_out), kReadBytes});
}

}  // namespace fw
