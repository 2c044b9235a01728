#include "target/chips/report_options.h"

#include "isp/link/isp_link.h"
#include "target/chips/option_lines.h"
#include "target/chips/option_reading.h"

namespace fw {

DecodingGroup GroupOfFamily(int family_code) { return TraitsOf(family_code).group; }

void LogOptionLines(IspLink& link, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) LogText(link, line);
}

void ReportOptions(IspLink& link, int reply_payload) {
  const OptionReading reading = ReadOptions(link, ReceivedOptions(link, reply_payload));
  ApplyOptionReading(link, reading);
  LogOptionLines(link, DescribeOptions(link, reading));
}

}  // namespace fw
