#include "isp/trim/procedure_1.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "isp/trim/trim_arithmetic.h"

namespace fw::trim {

namespace {

constexpr int kFirstTimeoutMs = 2000;
constexpr int kSecondTimeoutMs = 4000;
constexpr std::uint8_t kSyncByte = 0x7F;
constexpr int kCountsPerBaudUnit = 1200;
constexpr int kCountBias = 6;
constexpr int kWindowLead = 5;  // the fine window starts this many trims below the estimate
constexpr int kLastWindowStart = 244;
constexpr int kCoarseGroups = 6;
constexpr std::uint8_t kGroupTail[] = {0x02, 0x00};

// Status record bytes 51..57 are echoed in every 0x65 command.
constexpr int kEchoedStatusFirst = 51;
constexpr int kEchoedStatusCount = 7;

// Reply layout: groups of four bytes from byte 12 (range, trim, count high,
// count low); the coarse reply carries the chip's clock count in bytes 34-35
// and the trim byte 0 it uses in byte 33.
constexpr std::size_t kGroupsAt = 12;
constexpr std::size_t kGroupSize = 4;
constexpr std::size_t kClockTrimAt = 33;
constexpr std::size_t kClockCountAt = 34;

// The boot loader's timing constants by handshake rate, indexed by k below.
constexpr std::uint8_t kTimingTable[35] = {16, 16, 20, 14, 12,  18,  12,  6,   6,   8,   6,  6,
                                           6,  6,  6,  6,  6,   8,   6,   6,   6,   6,   6,  6,
                                           6,  12, 12, 12, 255, 255, 255, 255, 255, 255, 255};
constexpr int kTargetSteps[] = {6000000, 8400000, 12000000, 17000000, 24000000, 34000000};

struct RangeRow {
  int up_to;  // set frequency at most this (the last row: any above)
  int l, s;
  std::uint8_t q, u, w, r;
};
constexpr RangeRow kRangeRows[] = {
    {7500000, 0, 0, 0x00, 0x80, 0x80, 0xFF},  {10000000, 0, 1, 0x80, 0xFF, 0x00, 0x80},
    {15000000, 1, 1, 0x00, 0x80, 0x80, 0xFF}, {21000000, 1, 2, 0x80, 0xFF, 0x00, 0x80},
    {31000000, 2, 2, 0x00, 0x80, 0x80, 0xFF}, {INT_MAX, 3, 3, 0x00, 0x80, 0x80, 0xB4},
};
constexpr int kHighClock = 20000000;
constexpr std::uint8_t kLowClockSelector = 0x58;
constexpr std::uint8_t kHighClockSelector = 0x98;

// By handshake rate: the first entry of the timing table, and the divisor D of
// a count's frequency.
struct ByBaud {
  int baud, value;
};
constexpr ByBaud kTimingBase[] = {{1200, 0}, {2400, 7}, {4800, 14}, {9600, 21}};
constexpr int kTimingBaseOtherwise = 28;
constexpr ByBaud kClockDivisor[] = {{115200, 2101}, {57600, 2080}, {38400, 2075},
                                    {28800, 2072},  {19200, 2070}, {14400, 2068},
                                    {9600, 2068},   {4800, 2066},  {2400, 2063}};
constexpr int kClockDivisorOtherwise = 2061;

int Lookup(std::span<const ByBaud> table, int baud, int otherwise) {
  const auto row =
      std::find_if(table.begin(), table.end(), [baud](const ByBaud& r) { return r.baud == baud; });
  return row == table.end() ? otherwise : row->value;
}

std::uint16_t CountAt(std::span<const std::uint8_t> reply, std::size_t at) {
  return static_cast<std::uint16_t>((reply[at] << 8) | reply[at + 1]);
}

std::uint8_t GroupPrefix(int level) { return static_cast<std::uint8_t>(64 * level + 24); }

void AppendGroup(std::vector<std::uint8_t>& command, std::uint8_t a, std::uint8_t b) {
  command.push_back(a);
  command.push_back(b);
  command.insert(command.end(), std::begin(kGroupTail), std::end(kGroupTail));
}

Measurement Command65(std::vector<std::uint8_t> command, int timeout_ms) {
  Measurement m;
  m.command = std::move(command);
  m.timeout_ms = timeout_ms;
  m.sync_byte = kSyncByte;
  m.sync_pause_ms = 0;
  m.reply_code = Procedure1::kCommand;
  return m;
}

}  // namespace

std::int64_t Procedure1Frequency(int handshake_baud, std::uint16_t count) {
  return (std::int64_t{handshake_baud} * count / kCountsPerBaudUnit + kCountBias) *
         Lookup(kClockDivisor, handshake_baud, kClockDivisorOtherwise);
}

std::optional<int> Procedure1WindowStart(std::int64_t s0, int t0, std::int64_t s1, int t1,
                                         std::int64_t target) {
  if (t1 == t0) return std::nullopt;
  // Either sign of slope interpolates; only equal measurements leave nothing to
  // divide by.
  const double slope = static_cast<double>(s1 - s0) / (t1 - t0);
  if (!std::isfinite(slope) || slope == 0) return std::nullopt;
  // Exact in double for every frequency a 16-bit count can give.
  const double m = static_cast<double>(target) + std::trunc(slope * t0) - static_cast<double>(s0);
  const double trim = std::trunc(m / slope);
  if (!std::isfinite(trim) || trim < INT_MIN || trim > INT_MAX) return std::nullopt;
  return static_cast<int>(
      std::clamp<std::int64_t>(static_cast<std::int64_t>(trim) - kWindowLead, 0, kLastWindowStart));
}

std::vector<std::uint8_t> Procedure1::Header() const {
  std::vector<std::uint8_t> command{kCommand};
  command.insert(command.end(), in_.status_record.begin() + kEchoedStatusFirst,
                 in_.status_record.begin() + kEchoedStatusFirst + kEchoedStatusCount);
  command.push_back(0xFF);
  command.push_back(0xFF);
  const int t = in_.set_frequency;
  const int k = Lookup(kTimingBase, in_.handshake_baud, kTimingBaseOtherwise) +
                static_cast<int>(std::count_if(std::begin(kTargetSteps), std::end(kTargetSteps),
                                               [t](int step) { return t > step; }));
  command.push_back(kTimingTable[k]);
  return command;
}

TrimStep Procedure1::First() {
  const RangeRow& row =
      *std::find_if(std::begin(kRangeRows), std::end(kRangeRows),
                    [&](const RangeRow& r) { return in_.set_frequency <= r.up_to; });
  const std::uint8_t z =
      in_.measured_frequency < kHighClock ? kLowClockSelector : kHighClockSelector;
  std::vector<std::uint8_t> command = Header();
  command.push_back(kCoarseGroups);
  AppendGroup(command, GroupPrefix(row.l), row.q);
  AppendGroup(command, GroupPrefix(row.l), row.u);
  AppendGroup(command, GroupPrefix(row.s), row.w);
  AppendGroup(command, GroupPrefix(row.s), row.r);
  AppendGroup(command, z, 0x00);
  AppendGroup(command, z, 0x80);
  return Measure(Command65(std::move(command), kFirstTimeoutMs));
}

TrimStep Procedure1::Next(int index, std::span<const std::uint8_t> reply) {
  return index == 0 ? AfterCoarse(reply) : AfterFine(reply);
}

TrimStep Procedure1::AfterCoarse(std::span<const std::uint8_t> reply) {
  if (reply.size() < kFirstReplyBytes) return Ended(TrimStatus::kShortReply);
  const int h = in_.handshake_baud;
  trim0_ = reply[kClockTrimAt];
  clock_ = Procedure1Frequency(h, CountAt(reply, kClockCountAt));
  if (!FitsInt(clock_)) return Ended(TrimStatus::kUnusable);

  // Groups 0-1 measure one range at two trims, groups 2-3 another.
  Frequency s[4];
  for (std::size_t g = 0; g < 4; ++g) {
    s[g] = Procedure1Frequency(h, CountAt(reply, kGroupsAt + kGroupSize * g + 2));
  }
  const std::size_t first = ClosestIndex(s, in_.set_frequency) < 2 ? 0 : 2;
  const std::size_t at0 = kGroupsAt + kGroupSize * first;
  const std::size_t at1 = at0 + kGroupSize;
  const std::uint8_t range = reply[at0];
  const auto start = Procedure1WindowStart(s[first], reply[at0 + 1], s[first + 1], reply[at1 + 1],
                                           in_.set_frequency);
  if (!start) return Ended(TrimStatus::kUnusable);

  std::vector<std::uint8_t> command = Header();
  command.push_back(kFineTrims);
  for (int i = 0; i < kFineTrims; ++i) {
    AppendGroup(command, range, static_cast<std::uint8_t>(*start + i));
  }
  return Measure(Command65(std::move(command), kSecondTimeoutMs));
}

TrimStep Procedure1::AfterFine(std::span<const std::uint8_t> reply) {
  if (reply.size() < kSecondReplyBytes) return Ended(TrimStatus::kShortReply);
  std::vector<Frequency> f;
  for (std::size_t i = 0; i < kFineTrims; ++i) {
    f.push_back(
        Procedure1Frequency(in_.handshake_baud, CountAt(reply, kGroupsAt + kGroupSize * i + 2)));
  }
  const std::size_t best = ClosestIndex(f, in_.set_frequency);
  if (!FitsInt(f[best])) return Ended(TrimStatus::kUnusable);
  TrimChoice choice;
  choice.trim_bytes[0] = trim0_;
  choice.trim_bytes[2] = reply[kGroupsAt + kGroupSize * best + 1];
  choice.trim_bytes[3] = reply[kGroupsAt];
  choice.adjusted_frequency = static_cast<int>(f[best]);
  choice.measured_frequency = static_cast<int>(clock_);
  return Chosen(choice);
}

}  // namespace fw::trim
