#include "target/chips/report_options.h"

#include <strings.h>
#include <cstdint>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "target/chips/chip_table.h"
#include "target/chips/link_chip.h"
#include "target/chips/option_texts.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

namespace texts = option_texts;

// Products in the boot loader's 32-bit arithmetic wrap; so do they here.
std::int32_t Wrap(std::uint32_t v) { return static_cast<std::int32_t>(v); }

double Mhz(double hz) { return hz * 0.000001; }

class Reporter {
 public:
  Reporter(IspLink& link, int reply_payload)
      : link_(link),
        S(link.target.status_record),
        R(link.framing.receive_buffer),
        T(link.framing.send_buffer),
        record_(ChipOf(link)),
        family_(FamilyCode(record_)),
        fw72_(link.target.fw_version >= kFirmware72),
        baud_(link.request.handshake_baud),
        pending_(link.framing.send_buffer[0] != boot_loader::kNoRequest &&
                 link.framing.send_buffer[0] != board::kStartTarget),
        reply_payload_(reply_payload) {}

  void Run();

 private:
  std::uint32_t Count(int k) const { return static_cast<std::uint32_t>(S[k] * 256 + S[k + 1]); }
  void Store(std::int32_t f) {
    if (!link_.request.frequency_override) link_.clock.measured_frequency = f;
  }
  bool Quiet() const { return link_.request.quiet_information; }
  // The options written are read from the reply up to byte `last`: when the
  // reply ended before it, those bytes are an older frame's, and the line that
  // says so stands for the group's option lines.
  bool ReplyLacks(int last) {
    if (last < reply_payload_) return false;
    if (!Quiet()) Line(kMsgOptionsNotReportedBack);
    return true;
  }

  template <typename... Args>
  void Line(MessageId id, Args... args) {
    LogMessage(link_, link_.GetText(id), args...);
  }
  void Bit(std::uint8_t x, int n, MessageId when_set, MessageId when_clear) {
    Line(((x >> n) & 1) != 0 ? when_set : when_clear);
  }
  void Wdt(std::uint8_t x) {
    Bit(x, 5, kMsgWatchdogNotEnabledByHardware, kMsgWatchdogEnabledAtPowerOn);
    Line(kMsgWatchdogPrescaler, 1 << ((x & 7) + 1));
    Bit(x, 3, kMsgWatchdogCountsWhenIdle, kMsgWatchdogStopsWhenIdle);
    Bit(x, 7, kMsgProgramMayChangeWatchdogScaler, kMsgProgramMayNotChangeWatchdogScaler);
  }
  void Refv(int k, int lo, int hi) {
    const int v = S[k] * 256 + S[k + 1];
    Line(kMsgReferenceVoltage, v, lo, hi);
    if (v < lo || v > hi) Line(kMsgReferenceVoltageOutOfRange);
  }
  void Date(int k) {
    const int y = S[k], m = S[k + 1], d = S[k + 2];
    if (y >= 0x15 && y <= 0x25 && m >= 0x01 && m <= 0x12 && d >= 0x01 && d <= 0x31)
      Line(kMsgTestingDate, y, m, d);
  }
  void Serial() {
    const std::uint8_t* s = link_.target.chip_serial;
    bool all_equal = true;
    for (int i = 1; i < TargetIdentity::kChipSerialSize; ++i) all_equal = all_equal && s[i] == s[0];
    if (!all_equal) Line(kMsgChipSerial, s[0], s[1], s[2], s[3], s[4], s[5], s[6]);
  }
  void MeasuredLine() { Line(kMsgClockFrequency, Mhz(link_.clock.measured_frequency)); }
  const char* const* TwoEntryFor(const texts::TwoEntry& table) const {
    return IsHighVoltage(record_) ? table.high_voltage : table.other;
  }
  const char* const* EightEntry() const {
    return IsHighVoltage(record_) ? texts::kLvdH8 : texts::kLvdL8;
  }
  // Without capable firmware, chips that need it report their options as these defaults.
  void DefaultOptions(const std::uint8_t (&defaults)[7], int count) {
    if (!link_.target.option_capable_firmware &&
        (record_.flags & chip_flags::kOptionsNeedCapableFirmware) != 0) {
      for (int i = 0; i < count; ++i) S[23 + i] = defaults[i];
    }
  }
  std::int32_t ClassicCount3() const {
    return Wrap(Count(3) * static_cast<std::uint32_t>(baud_) * 12u) / 7;
  }

  void GroupA();
  void GroupB();
  void GroupCD(bool group_d);
  void GroupE();
  void GroupF();
  void GroupG();
  void GroupH();
  void GroupIJKL(DecodingGroup group);
  void Tail();

  IspLink& link_;
  std::uint8_t* S;
  std::uint8_t* R;
  std::uint8_t* T;
  const ChipRecord& record_;
  int family_;
  bool fw72_;
  int baud_;
  bool pending_;
  int reply_payload_;
};

void Reporter::GroupA() {
  std::uint8_t o0;
  if (pending_) {
    if (!fw72_ && ReplyLacks(10)) return;
    o0 = fw72_ ? T[5] : R[10];
  } else if (fw72_) {
    Store(Wrap(Count(status_offset::kClockCount) * static_cast<std::uint32_t>(baud_) * 12u));
    o0 = S[1];
  } else {
    Store(ClassicCount3());
    o0 = S[19];
  }
  if (Quiet()) return;
  MeasuredLine();
  Bit(o0, 0, kMsgMode12T, kMsgMode6T);
  Bit(o0, 4, kMsgOscillatorGainHigh, kMsgOscillatorGainLow);
  Bit(o0, 7, kMsgAnyResetStopsWatchdog, kMsgOnlyPowerDownStopsWatchdog);
  Bit(o0, 6, kMsgInternalXramEnabled, kMsgInternalXramDisabled);
  Bit(o0, 5, kMsgAlePinIsAle, kMsgAlePinIsIo);
  Bit(o0, 2, kMsgP10P11Ignored, kMsgP10P11MustBeLow);
  Bit(o0, 3, kMsgKeepEepromNextDownload, kMsgEraseEepromNextDownload);
}

void Reporter::GroupB() {
  std::uint8_t o0;
  if (pending_) {
    if (ReplyLacks(10)) return;
    o0 = R[10];
  } else {
    Store(ClassicCount3());
    o0 = S[19];
  }
  if (Quiet()) return;
  MeasuredLine();
  Bit(o0, 3, kMsgMode6T, kMsgMode12T);
}

void Reporter::GroupCD(bool group_d) {
  std::uint8_t o0, o1, o2, o6;
  if (pending_) {
    if (fw72_) {
      o0 = T[11], o1 = T[10], o2 = T[9], o6 = T[12];
    } else {
      if (ReplyLacks(16)) return;
      o0 = R[10], o1 = R[11], o2 = R[12], o6 = R[16];
    }
  } else if (fw72_) {
    Store(Wrap(Count(status_offset::kClockCount) * static_cast<std::uint32_t>(baud_)));
    o0 = S[7], o1 = S[6], o2 = S[5], o6 = S[8];
  } else {
    Store(ClassicCount3());
    static constexpr std::uint8_t kGroupC[7] = {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xBF};
    static constexpr std::uint8_t kGroupD[7] = {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF};
    DefaultOptions(group_d ? kGroupD : kGroupC, 7);
    o0 = S[23], o1 = S[24], o2 = S[25], o6 = S[29];
  }
  if (Quiet()) return;
  Bit(o0, 1, kMsgClockSourceExternal, kMsgClockSourceInternal);
  MeasuredLine();
  if (!group_d) {
    Line(kMsgLowVoltageResetLevel, TwoEntryFor(texts::kLvdGroupC)[((o6 >> 6) & 1) != 0 ? 0 : 1]);
  } else {
    Bit(o0, 6, kMsgOscillatorGainHigh, kMsgOscillatorGainLow);
    Bit(o6, 6, kMsgNoReset2Detection, kMsgReset2Detection);
    Bit(o0, 7, kMsgNormalPowerOnDelay, kMsgExtraPowerOnDelay);
  }
  Wdt(o1);
  Bit(o2, 0, kMsgP10P11Ignored, kMsgP10P11MustBeLow);
  Bit(o2, 1, kMsgKeepEepromNextDownload, kMsgEraseEepromNextDownload);
}

void Reporter::GroupE() {
  std::uint8_t o0, o1, o2, o4;
  if (pending_) {
    if (fw72_) {
      o0 = T[12], o1 = T[11], o2 = T[10], o4 = T[9];
    } else {
      if (ReplyLacks(14)) return;
      o0 = R[10], o1 = R[11], o2 = R[12], o4 = R[14];
    }
  } else if (fw72_) {
    Store(Wrap(Count(status_offset::kClockCount) * static_cast<std::uint32_t>(baud_)));
    o0 = S[8], o1 = S[7], o2 = S[6], o4 = S[5];
  } else {
    Store(ClassicCount3());
    static constexpr std::uint8_t kDefaults[7] = {0xBF, 0xFF, 0xFF, 0xFF, 0xFE, 0, 0};
    DefaultOptions(kDefaults, 5);
    o0 = S[23], o1 = S[24], o2 = S[25], o4 = S[27];
  }
  if (Quiet()) return;
  Bit(o1, 1, kMsgClockSourceExternal, kMsgClockSourceInternal);
  MeasuredLine();
  Bit(o1, 6, kMsgOscillatorGainHigh, kMsgOscillatorGainLow);
  Bit(o0, 0, kMsgResetPinIsReset, kMsgResetPinIsIo);
  const int first_if_set = ((o0 >> 6) & 1) != 0 ? 0 : 1;
  const int stable_clocks = 4096 << ((o0 >> 4) & 3);
  switch (family_) {
    case 11:
    case 21:
      Bit(o0, 6, kMsgNoReset2Detection, kMsgReset2Detection);
      break;
    case 12:
    case 22:
      Line(kMsgLowVoltageResetLevel, TwoEntryFor(texts::kLvdFamily12And22)[first_if_set]);
      break;
    case 13:
    case 23:
      Line(kMsgLowVoltageResetLevel, TwoEntryFor(texts::kLvdFamily13And23)[first_if_set]);
      Line(kMsgOscillatorStableClocks, stable_clocks);
      break;
    case 14:
    case 24:
      Line(kMsgLowVoltageResetLevel, TwoEntryFor(texts::kLvdFamily14And24)[first_if_set]);
      Line(kMsgOscillatorStableClocks, stable_clocks);
      break;
    default:
      break;
  }
  Bit(o1, 7, kMsgNormalPowerOnDelay, kMsgExtraPowerOnDelay);
  Wdt(o2);
  Bit(o4, 0, kMsgP10P11Ignored, kMsgP10P11MustBeLow);
  Bit(o4, 1, kMsgKeepEepromNextDownload, kMsgEraseEepromNextDownload);
  Serial();
}

void Reporter::GroupF() {
  std::uint8_t* o;
  if (link_.target.protocol_variant == 4) {  // its status reply lays the options out anew
    // The layout below overwrites the count: a second report in the same
    // download (after the option write) keeps the clock the first one took, or
    // the trim reached since, and shows that.
    if (!link_.target.status_laid_out) {
      const std::uint32_t n = 65536u - Count(status_offset::kClockCount);
      const std::int32_t f = Wrap(n * static_cast<std::uint32_t>(baud_) * 4u);
      link_.clock.measured_frequency = f;
      link_.clock.adjusted_frequency = f;
      link_.target.status_laid_out = true;
    }
    Line(kMsgFrequency, Mhz(link_.clock.adjusted_frequency));
    const std::uint8_t b1 = fw72_ ? S[49] : S[41];
    const std::uint8_t b2 = fw72_ ? S[48] : S[40];
    const std::uint8_t b3 = fw72_ ? S[47] : S[39];
    S[1] = R[1] = b1;
    S[2] = R[2] = b2;
    S[3] = R[3] = b3;
    R[7] = S[1];
    S[13] = R[13] = 0xFF;
    o = S + 1;
  } else if (T[0] == boot_loader::kWriteOptionsClassic) {
    if (ReplyLacks(22)) return;
    o = R + 10;
  } else {
    o = S + 23;
  }
  o[1] ^= 0x07;
  if (Quiet()) return;
  Bit(o[12], 0, kMsgP32P33Ignored, kMsgP32P33MustBeLow);
  Bit(o[0], 7, kMsgNormalPowerOnDelay, kMsgExtraPowerOnDelay);
  Bit(o[0], 4, kMsgResetPinIsReset, kMsgResetPinIsIo);
  Bit(o[1], 6, kMsgLowVoltageResets, kMsgLowVoltageInterrupts);
  Line(kMsgLowVoltageDetectLevel, EightEntry()[7 - (o[1] & 7)]);
  Bit(o[1], 7, kMsgEepromInhibitedAtLowVoltage, kMsgEepromPermittedAtLowVoltage);
  Wdt(o[2]);
  Bit(o[12], 1, kMsgKeepEepromNextDownload, kMsgEraseEepromNextDownload);
  Serial();
}

void Reporter::GroupG() {
  const std::uint8_t* o;
  if (link_.target.protocol_variant == 4) {  // its status reply lays the options out anew
    std::uint8_t v[38] = {};
    if (link_.target.status_laid_out) {
      // Laid out by an earlier report of this download: the count it holds now
      // is the layout's, and the clock figures stay as they are.
      for (int p = 1; p <= 14; ++p) v[p] = S[p];
      v[37] = S[37];
    } else {
      const std::uint32_t n = 262144u - 4u * Count(status_offset::kClockCount);
      const std::int32_t f = Wrap(n * static_cast<std::uint32_t>(baud_));
      link_.clock.adjusted_frequency = f;
      Store(f);
      for (int p = 1; p <= 4; ++p) v[p] = S[22 + p];
      for (int p = 5; p <= 7; ++p) v[p] = fw72_ ? S[42 + p] : S[34 + p];
      v[37] = fw72_ ? S[41] : 0xF8;  // the older firmware's fixed byte
      const auto uf = static_cast<std::uint32_t>(f);
      v[8] = static_cast<std::uint8_t>(uf >> 24);
      v[9] = static_cast<std::uint8_t>(uf >> 16);
      v[10] = static_cast<std::uint8_t>(uf >> 8);
      v[11] = static_cast<std::uint8_t>(uf);
      v[12] = 0xFF;
      v[13] = static_cast<std::uint8_t>(n >> 8);
      v[14] = static_cast<std::uint8_t>(n);
      link_.target.status_laid_out = true;
    }
    for (int p = 1; p <= 14; ++p) S[p] = R[p] = v[p];
    S[37] = R[37] = v[37];
    o = S + 1;
  } else {
    o = R + 1;
  }
  if (Quiet()) return;
  if ((o[6] & 1) != 0) {
    Line(kMsgClockSourceInternal);
    const std::uint32_t v = static_cast<std::uint32_t>(o[7]) << 24 |
                            static_cast<std::uint32_t>(o[8]) << 16 |
                            static_cast<std::uint32_t>(o[9]) << 8 | o[10];
    if (v == 0xFFFFFFFFu)
      Line(kMsgIrcUnadjusted);
    else
      Line(kMsgFrequency, Mhz(v));
  } else {
    Line(kMsgClockSourceExternal);
    const std::uint32_t x = static_cast<std::uint32_t>(o[12] * 256 + o[13]);
    if (x != 0xFFFF) Line(kMsgClockFrequency, Mhz(x * static_cast<std::uint32_t>(baud_)));
  }
  const bool gain_line = family_ == 29 || family_ == 30 || family_ == 31 || family_ == 37 ||
                         (family_ >= 38 && family_ <= 43);
  if (gain_line) Bit(o[6], 1, kMsgOscillatorGainHigh, kMsgOscillatorGainLow);
  const int w = o[0] * 256 + o[1];
  if (w != 0xFFFF) Line(kMsgWakeupTimerFrequency, w * 0.001);
  Bit(o[11], 0, kMsgP32P33Ignored, kMsgP32P33MustBeLow);
  Bit(o[6], 7, kMsgExtraPowerOnDelay, kMsgNormalPowerOnDelay);
  Bit(o[6], 4, kMsgResetPinIsIo, kMsgResetPinIsReset);
  Bit(o[5], 6, kMsgLowVoltageInterrupts, kMsgLowVoltageResets);
  if (const char* const* table = texts::SixteenEntryLvd(family_)) {
    Line(kMsgLowVoltageDetectLevel, table[15 - (o[5] & 15)]);
  } else if (family_ == 26 || family_ == 27 || (family_ >= 29 && family_ <= 31)) {
    Line(kMsgLowVoltageDetectLevel, EightEntry()[7 - (o[5] & 7)]);
  }
  Bit(o[5], 7, kMsgEepromInhibitedAtLowVoltage, kMsgEepromPermittedAtLowVoltage);
  if (const char* const* core = texts::CoreVoltageTable(family_))
    Line(kMsgCoreVoltage, core[o[36] & 0x1F]);
  Wdt(o[4]);
  Bit(o[11], 1, kMsgEraseEepromNextDownload, kMsgKeepEepromNextDownload);
  Bit(o[11], 2, kMsgNo485Control, kMsg485Control);
  if (fw72_) Bit(o[11], 3, kMsgNoUserPasswordCheck, kMsgUserPasswordCheck);
  Bit(o[6], 6, kMsgTxdFollowsRxd, kMsgTxdIndependent);
  Bit(o[6], 5, kMsgTxdPushPull, kMsgTxdQuasiBidirectional);
  const char* pin = (family_ == 27 || family_ == 32)   ? "P3.3"
                    : (family_ == 33 || family_ == 34) ? "P1.0"
                                                       : "P2.0";
  Line(((o[6] >> 3) & 1) != 0 ? kMsgPinHighAfterReset : kMsgPinLowAfterReset, pin);
  const bool irc_layout =
      strncasecmp(link_.target.chip_name, "IRC", 3) == 0 || record_.id == 0xF55F;
  if (!irc_layout) {
    Refv(35, 1150, 1320);
    Date(42);
  } else {
    Refv(29, 1150, 1320);
    Date(31);
  }
  Serial();
}

void Reporter::GroupH() {
  const std::int32_t f =
      Wrap(Count(status_offset::kClockCount) * static_cast<std::uint32_t>(baud_));
  link_.clock.measured_frequency = f;
  if (Quiet()) return;
  if (link_.serial.link_kind == LinkKind::kSerialPort) Line(kMsgFrequency, Mhz(f));
  if ((R[4] & 1) != 0) {
    Line(kMsgClockSourceInternal);
    if (link_.serial.link_kind == LinkKind::kSerialPort) {
      const std::uint32_t v = static_cast<std::uint32_t>(R[8]) << 24 |
                              static_cast<std::uint32_t>(R[9]) << 16 |
                              static_cast<std::uint32_t>(R[10]) << 8 | R[11];
      if (v == 0xFFFFFFFFu)
        Line(kMsgIrcUnadjusted);
      else
        Line(kMsgFrequency, Mhz(v));
    }
  } else {
    Line(kMsgClockSourceExternal);
    const std::uint32_t x = static_cast<std::uint32_t>(R[13] * 256 + R[14]);
    if (x != 0xFFFF) Line(kMsgClockFrequency, Mhz(x * static_cast<std::uint32_t>(baud_)));
  }
  Bit(R[4], 1, kMsgOscillatorGainHigh, kMsgOscillatorGainLow);
  Bit(R[12], 0, kMsgP32P33Ignored, kMsgP32P33MustBeLow);
  Bit(R[4], 4, kMsgResetPinIsIo, kMsgResetPinIsReset);
  Bit(R[3], 6, kMsgLowVoltageInterrupts, kMsgLowVoltageResets);
  Bit(R[3], 7, kMsgEepromInhibitedAtLowVoltage, kMsgEepromPermittedAtLowVoltage);
  Wdt(R[2]);
  Bit(R[12], 1, kMsgEraseEepromNextDownload, kMsgKeepEepromNextDownload);
  Bit(R[12], 2, kMsgNo485Control, kMsg485Control);
  Bit(R[12], 3, kMsgNoUserPasswordCheck, kMsgUserPasswordCheck);
  Bit(R[1], 2, kMsgTxdFollowsRxd, kMsgTxdIndependent);
  Bit(R[4], 5, kMsgTxdPushPull, kMsgTxdQuasiBidirectional);
  Line(((R[4] >> 3) & 1) != 0 ? kMsgPinHighAfterReset : kMsgPinLowAfterReset, "P2.0");
  Date(42);
  Serial();
}

void Reporter::GroupIJKL(DecodingGroup group) {
  link_.clock.measured_frequency =
      Wrap(Count(status_offset::kClockCount) * static_cast<std::uint32_t>(baud_));
  if (Quiet()) return;
  const bool i = group == DecodingGroup::kI;
  const bool j = group == DecodingGroup::kJ;
  const bool k = group == DecodingGroup::kK;
  const bool l = group == DecodingGroup::kL;
  const std::uint32_t v = static_cast<std::uint32_t>(R[1]) << 24 |
                          static_cast<std::uint32_t>(R[2]) << 16 |
                          static_cast<std::uint32_t>(R[3]) << 8 | R[4];
  if (v == 0xFFFFFFFFu)
    Line(kMsgIrcUnadjusted);
  else
    Line(kMsgIrcFrequency, Mhz(v));
  const int w = S[23] * 256 + S[24];
  if (w != 0xFFFF) Line(kMsgWakeupTimerFrequency, w * 0.001);
  if (!(l && family_ == 62)) Bit(R[10], 1, kMsgOscillatorGainHigh, kMsgOscillatorGainLow);
  if (!k) Bit(R[9], 0, kMsgP32P33Ignored, kMsgP32P33MustBeLow);
  Bit(R[10], 7, kMsgExtraPowerOnDelay, kMsgNormalPowerOnDelay);
  Bit(R[11], 4, kMsgResetPinIsIo, kMsgResetPinIsReset);
  Bit(R[11], 6, kMsgLowVoltageInterrupts, kMsgLowVoltageResets);
  const char* const* lvd = i ? texts::kLvdGroupI : l ? texts::kLvdGroupL : texts::kLvdGroupsJK;
  Line(kMsgLowVoltageDetectLevel, lvd[3 - (R[11] & 3)]);
  Wdt(R[15]);
  if (!k) {
    Bit(R[9], 1, kMsgEraseEepromNextDownload, kMsgKeepEepromNextDownload);
    Bit(R[9], 2, kMsgNo485Control, kMsg485Control);
    Bit(R[9], 3, kMsgNoUserPasswordCheck, kMsgUserPasswordCheck);
  }
  if (i) {
    Bit(R[10], 4, kMsgTxdFollowsRxd, kMsgTxdIndependent);
    Bit(R[10], 5, kMsgTxdPushPull, kMsgTxdQuasiBidirectional);
    Line(((R[10] >> 3) & 1) != 0 ? kMsgPinHighAfterReset : kMsgPinLowAfterReset, "P2.0");
  }
  if (j) {
    if ((R[15] & 0x80) != 0) {
      Line(kMsgIceDisabled);
    } else {
      Line(kMsgIceEnabled);
      if ((R[12] & 0x20) != 0)
        Line(kMsgIceComPort, texts::kEmulationPins[(R[12] >> 6) & 3]);
      else
        Line(kMsgIceUsb);
    }
  }
  if (i)
    Refv(35, 1270, 1410);
  else
    Refv(35, 1100, 1300);
  if (!k) {
    Date(37);
    Serial();
  }
}

void Reporter::Tail() {
  LogMessage(link_, "\r\n");
  Line(kMsgChipType, link_.target.chip_name);
  const int major = (link_.target.fw_version >> 4) & 15;
  const int minor = link_.target.fw_version & 15;
  if (link_.target.fw_build != 0)
    Line(kMsgFirmwareVersionWithBuild, major, minor, link_.target.fw_build, link_.target.fw_letter);
  else
    Line(kMsgFirmwareVersion, major, minor, link_.target.fw_letter);
  if (link_.clock.frequency_adjusted && link_.clock.adjusted_frequency != 0) {
    Line(kMsgSetFrequency, Mhz(link_.request.set_frequency));
    Line(kMsgAdjustedFrequency, Mhz(link_.clock.adjusted_frequency));
    Line(kMsgTrimError, static_cast<double>(link_.clock.trim_error));
  }
  LogMessage(link_, "\r\n");
}

void Reporter::Run() {
  const DecodingGroup group = GroupOfFamily(family_);
  switch (group) {
    case DecodingGroup::kA:
      GroupA();
      break;
    case DecodingGroup::kB:
      GroupB();
      break;
    case DecodingGroup::kC:
      GroupCD(false);
      break;
    case DecodingGroup::kD:
      GroupCD(true);
      break;
    case DecodingGroup::kE:
      GroupE();
      break;
    case DecodingGroup::kF:
      GroupF();
      break;
    case DecodingGroup::kG:
      GroupG();
      break;
    case DecodingGroup::kH:
      GroupH();
      break;
    default:
      GroupIJKL(group);
      break;
  }
  if (Quiet()) {
    LogMessage(link_, "\r\n");
    return;
  }
  Tail();
}

}  // namespace

DecodingGroup GroupOfFamily(int f) {
  if ((f >= 1 && f <= 5) || f == 15 || f == 16) return DecodingGroup::kA;
  if (f == 6) return DecodingGroup::kB;
  if ((f >= 7 && f <= 9) || (f >= 17 && f <= 19)) return DecodingGroup::kC;
  if (f == 10 || f == 20) return DecodingGroup::kD;
  if ((f >= 11 && f <= 14) || (f >= 21 && f <= 24)) return DecodingGroup::kE;
  if (f == 25 || f == 28) return DecodingGroup::kF;
  if (f == 26 || f == 27 || (f >= 29 && f <= 43)) return DecodingGroup::kG;
  if (f == 44) return DecodingGroup::kH;
  if (f >= 45 && f <= 52) return DecodingGroup::kI;
  if (f == 61) return DecodingGroup::kJ;
  if (f == 70) return DecodingGroup::kK;
  return DecodingGroup::kL;
}

void ReportOptions(IspLink& link, int reply_payload) { Reporter(link, reply_payload).Run(); }

}  // namespace fw
