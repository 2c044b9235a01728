#include "target/chips/option_lines.h"

#include <strings.h>
#include <cstdint>

#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"
#include "target/chips/link_chip.h"
#include "target/chips/option_texts.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

namespace texts = option_texts;

double Mhz(double hz) { return hz * 0.000001; }

class Describer {
 public:
  Describer(const IspLink& link, const OptionReading& reading)
      : link_(link),
        r_(reading),
        S(reading.status.data()),
        R(reading.reply.data()),
        o(reading.options.data()),
        record_(ChipOf(link)),
        traits_(TraitsOf(record_)),
        fw72_(link.target.fw_version >= kFirmware72),
        baud_(link.request.handshake_baud) {}

  std::vector<std::string> Run() {
    if (r_.adjusted_frequency_first) Line(kMsgFrequency, Mhz(link_.clock.adjusted_frequency));
    if (link_.request.quiet_information) {
      lines_.emplace_back("\r\n");
      return lines_;
    }
    if (r_.not_reported_back) {
      Line(kMsgOptionsNotReportedBack);
    } else {
      Group();
    }
    Tail();
    return lines_;
  }

 private:
  template <typename... Args>
  void Line(MessageId id, Args... args) {
    lines_.push_back(FormatText(link_.GetText(id), args...));
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
  // The gain line of the families that report it.
  void Gain(std::uint8_t x, int n) {
    if (traits_.Has(family_flags::kGainLine)) {
      Bit(x, n, kMsgOscillatorGainHigh, kMsgOscillatorGainLow);
    }
  }
  void DetectLevel(std::uint8_t bits) {
    if (const char* level = texts::DetectLevel(traits_.lvd, IsHighVoltage(record_), bits))
      Line(kMsgLowVoltageDetectLevel, level);
  }
  const char* ResetLevelPin() const {
    switch (traits_.reset_level_pin) {
      case ResetLevelPin::kP33:
        return "P3.3";
      case ResetLevelPin::kP10:
        return "P1.0";
      case ResetLevelPin::kP20:
        break;
    }
    return "P2.0";
  }
  std::uint32_t BigEndian32(const std::uint8_t* b) const {
    return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
           static_cast<std::uint32_t>(b[2]) << 8 | b[3];
  }

  void Group() {
    switch (r_.group) {
      case DecodingGroup::kA:
        GroupA();
        break;
      case DecodingGroup::kB:
        MeasuredLine();
        Bit(o[0], 3, kMsgMode6T, kMsgMode12T);
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
        GroupIJKL();
        break;
    }
  }

  void GroupA() {
    MeasuredLine();
    Bit(o[0], 0, kMsgMode12T, kMsgMode6T);
    Gain(o[0], 4);
    Bit(o[0], 7, kMsgAnyResetStopsWatchdog, kMsgOnlyPowerDownStopsWatchdog);
    Bit(o[0], 6, kMsgInternalXramEnabled, kMsgInternalXramDisabled);
    Bit(o[0], 5, kMsgAlePinIsAle, kMsgAlePinIsIo);
    Bit(o[0], 2, kMsgP10P11Ignored, kMsgP10P11MustBeLow);
    Bit(o[0], 3, kMsgKeepEepromNextDownload, kMsgEraseEepromNextDownload);
  }

  void GroupCD(bool group_d) {
    Bit(o[0], 1, kMsgClockSourceExternal, kMsgClockSourceInternal);
    MeasuredLine();
    if (!group_d) {
      Line(kMsgLowVoltageResetLevel,
           TwoEntryFor(texts::kLvdGroupC)[((o[6] >> 6) & 1) != 0 ? 0 : 1]);
    } else {
      Gain(o[0], 6);
      Bit(o[6], 6, kMsgNoReset2Detection, kMsgReset2Detection);
      Bit(o[0], 7, kMsgNormalPowerOnDelay, kMsgExtraPowerOnDelay);
    }
    Wdt(o[1]);
    Bit(o[2], 0, kMsgP10P11Ignored, kMsgP10P11MustBeLow);
    Bit(o[2], 1, kMsgKeepEepromNextDownload, kMsgEraseEepromNextDownload);
  }

  void GroupE() {
    Bit(o[1], 1, kMsgClockSourceExternal, kMsgClockSourceInternal);
    MeasuredLine();
    Gain(o[1], 6);
    Bit(o[0], 0, kMsgResetPinIsReset, kMsgResetPinIsIo);
    const int first_if_set = ((o[0] >> 6) & 1) != 0 ? 0 : 1;
    const int stable_clocks = 4096 << ((o[0] >> 4) & 3);
    switch (traits_.group_e_line) {
      case GroupELine::kReset2:
        Bit(o[0], 6, kMsgNoReset2Detection, kMsgReset2Detection);
        break;
      case GroupELine::kLvd12And22:
        Line(kMsgLowVoltageResetLevel, TwoEntryFor(texts::kLvdFamily12And22)[first_if_set]);
        break;
      case GroupELine::kLvd13And23:
        Line(kMsgLowVoltageResetLevel, TwoEntryFor(texts::kLvdFamily13And23)[first_if_set]);
        Line(kMsgOscillatorStableClocks, stable_clocks);
        break;
      case GroupELine::kLvd14And24:
        Line(kMsgLowVoltageResetLevel, TwoEntryFor(texts::kLvdFamily14And24)[first_if_set]);
        Line(kMsgOscillatorStableClocks, stable_clocks);
        break;
      case GroupELine::kNoLine:
        break;
    }
    Bit(o[1], 7, kMsgNormalPowerOnDelay, kMsgExtraPowerOnDelay);
    Wdt(o[2]);
    Bit(o[4], 0, kMsgP10P11Ignored, kMsgP10P11MustBeLow);
    Bit(o[4], 1, kMsgKeepEepromNextDownload, kMsgEraseEepromNextDownload);
    Serial();
  }

  // O1 as read, its low three bits inverted: the LVD entry is that of the bits
  // as received.
  void GroupF() {
    Bit(o[12], 0, kMsgP32P33Ignored, kMsgP32P33MustBeLow);
    Bit(o[0], 7, kMsgNormalPowerOnDelay, kMsgExtraPowerOnDelay);
    Bit(o[0], 4, kMsgResetPinIsReset, kMsgResetPinIsIo);
    Bit(o[1], 6, kMsgLowVoltageResets, kMsgLowVoltageInterrupts);
    DetectLevel(o[1]);
    Bit(o[1], 7, kMsgEepromInhibitedAtLowVoltage, kMsgEepromPermittedAtLowVoltage);
    Wdt(o[2]);
    Bit(o[12], 1, kMsgKeepEepromNextDownload, kMsgEraseEepromNextDownload);
    Serial();
  }

  void GroupG() {
    if ((o[6] & 1) != 0) {
      Line(kMsgClockSourceInternal);
      const std::uint32_t v = BigEndian32(o + 7);
      if (v == 0xFFFFFFFFu)
        Line(kMsgIrcUnadjusted);
      else
        Line(kMsgFrequency, Mhz(v));
    } else {
      Line(kMsgClockSourceExternal);
      const std::uint32_t x = static_cast<std::uint32_t>(o[12] * 256 + o[13]);
      if (x != 0xFFFF) Line(kMsgClockFrequency, Mhz(x * static_cast<std::uint32_t>(baud_)));
    }
    Gain(o[6], 1);
    const int w = o[0] * 256 + o[1];
    if (w != 0xFFFF) Line(kMsgWakeupTimerFrequency, w * 0.001);
    Bit(o[11], 0, kMsgP32P33Ignored, kMsgP32P33MustBeLow);
    Bit(o[6], 7, kMsgExtraPowerOnDelay, kMsgNormalPowerOnDelay);
    Bit(o[6], 4, kMsgResetPinIsIo, kMsgResetPinIsReset);
    Bit(o[5], 6, kMsgLowVoltageInterrupts, kMsgLowVoltageResets);
    DetectLevel(o[5]);
    Bit(o[5], 7, kMsgEepromInhibitedAtLowVoltage, kMsgEepromPermittedAtLowVoltage);
    if (const char* core = texts::CoreVoltage(traits_.core_voltage, o[36]))
      Line(kMsgCoreVoltage, core);
    Wdt(o[4]);
    Bit(o[11], 1, kMsgEraseEepromNextDownload, kMsgKeepEepromNextDownload);
    Bit(o[11], 2, kMsgNo485Control, kMsg485Control);
    if (fw72_) Bit(o[11], 3, kMsgNoUserPasswordCheck, kMsgUserPasswordCheck);
    Bit(o[6], 6, kMsgTxdFollowsRxd, kMsgTxdIndependent);
    Bit(o[6], 5, kMsgTxdPushPull, kMsgTxdQuasiBidirectional);
    Line(((o[6] >> 3) & 1) != 0 ? kMsgPinHighAfterReset : kMsgPinLowAfterReset, ResetLevelPin());
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

  void GroupH() {
    const bool serial_port = link_.serial.link_kind == LinkKind::kSerialPort;
    if (serial_port) Line(kMsgFrequency, Mhz(r_.measured_frequency.value_or(0)));
    if ((R[4] & 1) != 0) {
      Line(kMsgClockSourceInternal);
      if (serial_port) {
        const std::uint32_t v = BigEndian32(R + 8);
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
    Gain(R[4], 1);
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
    Line(((R[4] >> 3) & 1) != 0 ? kMsgPinHighAfterReset : kMsgPinLowAfterReset, ResetLevelPin());
    Date(42);
    Serial();
  }

  void GroupIJKL() {
    const bool i = r_.group == DecodingGroup::kI;
    const bool j = r_.group == DecodingGroup::kJ;
    const bool k = r_.group == DecodingGroup::kK;
    const bool l = r_.group == DecodingGroup::kL;
    const std::uint32_t v = BigEndian32(R + 1);
    if (v == 0xFFFFFFFFu)
      Line(kMsgIrcUnadjusted);
    else
      Line(kMsgIrcFrequency, Mhz(v));
    const int w = S[23] * 256 + S[24];
    if (w != 0xFFFF) Line(kMsgWakeupTimerFrequency, w * 0.001);
    Gain(R[10], 1);
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
      Line(((R[10] >> 3) & 1) != 0 ? kMsgPinHighAfterReset : kMsgPinLowAfterReset, ResetLevelPin());
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

  void Tail() {
    lines_.emplace_back("\r\n");
    Line(kMsgChipType, link_.target.chip_name);
    const int major = (link_.target.fw_version >> 4) & 15;
    const int minor = link_.target.fw_version & 15;
    if (link_.target.fw_build != 0)
      Line(kMsgFirmwareVersionWithBuild, major, minor, link_.target.fw_build,
           link_.target.fw_letter);
    else
      Line(kMsgFirmwareVersion, major, minor, link_.target.fw_letter);
    if (link_.clock.frequency_adjusted && link_.clock.adjusted_frequency != 0) {
      Line(kMsgSetFrequency, Mhz(link_.request.set_frequency));
      Line(kMsgAdjustedFrequency, Mhz(link_.clock.adjusted_frequency));
      Line(kMsgTrimError, static_cast<double>(link_.clock.trim_error));
    }
    lines_.emplace_back("\r\n");
  }

  const IspLink& link_;
  const OptionReading& r_;
  const std::uint8_t* S;
  const std::uint8_t* R;
  const std::uint8_t* o;
  const ChipRecord& record_;
  const FamilyTraits& traits_;
  const bool fw72_;
  const int baud_;
  std::vector<std::string> lines_;
};

}  // namespace

std::vector<std::string> DescribeOptions(const IspLink& link, const OptionReading& reading) {
  return Describer(link, reading).Run();
}

}  // namespace fw
