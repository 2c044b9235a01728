#include "target/report_options.h"

#include <strings.h>
#include <cstdint>

#include "isp/link/isp_link.h"
#include "target/chip_table.h"
#include "target/option_texts.h"

namespace fw {
namespace {

namespace texts = option_texts;

// Products in the boot loader's 32-bit arithmetic wrap; so do they here.
std::int32_t Wrap(std::uint32_t v) { return static_cast<std::int32_t>(v); }

double Mhz(double hz) { return hz * 0.000001; }

class Reporter {
 public:
  explicit Reporter(IspLink& link)
      : link_(link),
        S(link.status_record),
        R(link.receive_buffer),
        T(link.send_buffer),
        record_(RecordOf(link)),
        family_(FamilyCode(record_)),
        fw72_(link.fw_version >= 0x72),
        baud_(link.handshake_baud),
        pending_(link.send_buffer[0] != 0x00 && link.send_buffer[0] != 0xF8) {}

  void Run();

 private:
  static const ChipRecord& RecordOf(const IspLink& link) {
    const auto table = ChipTable();
    if (link.chip_index < 0 || static_cast<std::size_t>(link.chip_index) >= table.size())
      return table[0];
    return table[static_cast<std::size_t>(link.chip_index)];
  }

  std::uint32_t Count(int k) const { return static_cast<std::uint32_t>(S[k] * 256 + S[k + 1]); }
  void Store(std::int32_t f) {
    if (link_.frequency_override == 0) link_.measured_frequency = f;
  }
  bool Quiet() const { return link_.quiet_information != 0; }

  template <typename... Args>
  void Line(int id, Args... args) {
    LogMessage(link_, link_.GetText(id), args...);
  }
  void Bit(std::uint8_t x, int n, int when_set, int when_clear) {
    Line(((x >> n) & 1) != 0 ? when_set : when_clear);
  }
  void Wdt(std::uint8_t x) {
    Bit(x, 5, 8035, 8036);
    Line(8037, 1 << ((x & 7) + 1));
    Bit(x, 3, 8038, 8039);
    Bit(x, 7, 8040, 8041);
  }
  void Refv(int k, int lo, int hi) {
    const int v = S[k] * 256 + S[k + 1];
    Line(8082, v, lo, hi);
    if (v < lo || v > hi) Line(8083);
  }
  void Date(int k) {
    const int y = S[k], m = S[k + 1], d = S[k + 2];
    if (y >= 0x15 && y <= 0x25 && m >= 0x01 && m <= 0x12 && d >= 0x01 && d <= 0x31)
      Line(8084, y, m, d);
  }
  void Serial() {
    const std::uint8_t* s = link_.chip_serial;
    bool all_equal = true;
    for (int i = 1; i < 7; ++i) all_equal = all_equal && s[i] == s[0];
    if (!all_equal) Line(8024, s[0], s[1], s[2], s[3], s[4], s[5], s[6]);
  }
  void MeasuredLine() { Line(8028, Mhz(link_.measured_frequency)); }
  const char* const* TwoEntryFor(const texts::TwoEntry& table) const {
    return IsHighVoltage(record_) ? table.high_voltage : table.other;
  }
  const char* const* EightEntry() const {
    return IsHighVoltage(record_) ? texts::kLvdH8 : texts::kLvdL8;
  }
  // Without capable firmware, chips that need it report their options as these defaults.
  void DefaultOptions(const std::uint8_t (&defaults)[7], int count) {
    if (link_.option_capable_firmware == 0 &&
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
};

void Reporter::GroupA() {
  std::uint8_t o0;
  if (pending_) {
    o0 = fw72_ ? T[5] : R[10];
  } else if (fw72_) {
    Store(Wrap(Count(13) * static_cast<std::uint32_t>(baud_) * 12u));
    o0 = S[1];
  } else {
    Store(ClassicCount3());
    o0 = S[19];
  }
  if (Quiet()) return;
  MeasuredLine();
  Bit(o0, 0, 8029, 8030);
  Bit(o0, 4, 8031, 8032);
  Bit(o0, 7, 8033, 8034);
  Bit(o0, 6, 8042, 8043);
  Bit(o0, 5, 8044, 8045);
  Bit(o0, 2, 8046, 8047);
  Bit(o0, 3, 8048, 8049);
}

void Reporter::GroupB() {
  std::uint8_t o0;
  if (pending_) {
    o0 = R[10];
  } else {
    Store(ClassicCount3());
    o0 = S[19];
  }
  if (Quiet()) return;
  MeasuredLine();
  Bit(o0, 3, 8030, 8029);
}

void Reporter::GroupCD(bool group_d) {
  std::uint8_t o0, o1, o2, o6;
  if (pending_) {
    if (fw72_) {
      o0 = T[11], o1 = T[10], o2 = T[9], o6 = T[12];
    } else {
      o0 = R[10], o1 = R[11], o2 = R[12], o6 = R[16];
    }
  } else if (fw72_) {
    Store(Wrap(Count(13) * static_cast<std::uint32_t>(baud_)));
    o0 = S[7], o1 = S[6], o2 = S[5], o6 = S[8];
  } else {
    Store(ClassicCount3());
    static constexpr std::uint8_t kGroupC[7] = {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xBF};
    static constexpr std::uint8_t kGroupD[7] = {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF};
    DefaultOptions(group_d ? kGroupD : kGroupC, 7);
    o0 = S[23], o1 = S[24], o2 = S[25], o6 = S[29];
  }
  if (Quiet()) return;
  Bit(o0, 1, 8050, 8051);
  MeasuredLine();
  if (!group_d) {
    Line(8052, TwoEntryFor(texts::kLvdGroupC)[((o6 >> 6) & 1) != 0 ? 0 : 1]);
  } else {
    Bit(o0, 6, 8031, 8032);
    Bit(o6, 6, 8053, 8054);
    Bit(o0, 7, 8055, 8056);
  }
  Wdt(o1);
  Bit(o2, 0, 8046, 8047);
  Bit(o2, 1, 8048, 8049);
}

void Reporter::GroupE() {
  std::uint8_t o0, o1, o2, o4;
  if (pending_) {
    if (fw72_) {
      o0 = T[12], o1 = T[11], o2 = T[10], o4 = T[9];
    } else {
      o0 = R[10], o1 = R[11], o2 = R[12], o4 = R[14];
    }
  } else if (fw72_) {
    Store(Wrap(Count(13) * static_cast<std::uint32_t>(baud_)));
    o0 = S[8], o1 = S[7], o2 = S[6], o4 = S[5];
  } else {
    Store(ClassicCount3());
    static constexpr std::uint8_t kDefaults[7] = {0xBF, 0xFF, 0xFF, 0xFF, 0xFE, 0, 0};
    DefaultOptions(kDefaults, 5);
    o0 = S[23], o1 = S[24], o2 = S[25], o4 = S[27];
  }
  if (Quiet()) return;
  Bit(o1, 1, 8050, 8051);
  MeasuredLine();
  Bit(o1, 6, 8031, 8032);
  Bit(o0, 0, 8057, 8058);
  const int first_if_set = ((o0 >> 6) & 1) != 0 ? 0 : 1;
  const int stable_clocks = 4096 << ((o0 >> 4) & 3);
  switch (family_) {
    case 11:
    case 21:
      Bit(o0, 6, 8053, 8054);
      break;
    case 12:
    case 22:
      Line(8052, TwoEntryFor(texts::kLvdFamily12And22)[first_if_set]);
      break;
    case 13:
    case 23:
      Line(8052, TwoEntryFor(texts::kLvdFamily13And23)[first_if_set]);
      Line(8059, stable_clocks);
      break;
    case 14:
    case 24:
      Line(8052, TwoEntryFor(texts::kLvdFamily14And24)[first_if_set]);
      Line(8059, stable_clocks);
      break;
    default:
      break;
  }
  Bit(o1, 7, 8055, 8056);
  Wdt(o2);
  Bit(o4, 0, 8046, 8047);
  Bit(o4, 1, 8048, 8049);
  Serial();
}

void Reporter::GroupF() {
  std::uint8_t* o;
  if (link_.protocol_variant == 4) {
    const std::uint32_t n = 65536u - Count(13);
    const std::int32_t f = Wrap(n * static_cast<std::uint32_t>(baud_) * 4u);
    link_.measured_frequency = f;
    link_.adjusted_frequency = f;
    Line(8060, Mhz(f));
    const std::uint8_t b1 = fw72_ ? S[49] : S[41];
    const std::uint8_t b2 = fw72_ ? S[48] : S[40];
    const std::uint8_t b3 = fw72_ ? S[47] : S[39];
    S[1] = R[1] = b1;
    S[2] = R[2] = b2;
    S[3] = R[3] = b3;
    R[7] = S[1];
    S[13] = R[13] = 0xFF;
    o = S + 1;
  } else {
    o = T[0] == 0x8D ? R + 10 : S + 23;
  }
  o[1] ^= 0x07;
  if (Quiet()) return;
  Bit(o[12], 0, 8061, 8062);
  Bit(o[0], 7, 8055, 8056);
  Bit(o[0], 4, 8057, 8058);
  Bit(o[1], 6, 8063, 8064);
  Line(8065, EightEntry()[7 - (o[1] & 7)]);
  Bit(o[1], 7, 8066, 8067);
  Wdt(o[2]);
  Bit(o[12], 1, 8048, 8049);
  Serial();
}

void Reporter::GroupG() {
  const std::uint8_t* o;
  if (link_.protocol_variant == 4) {
    const std::uint32_t n = 262144u - 4u * Count(13);
    const std::int32_t f = Wrap(n * static_cast<std::uint32_t>(baud_));
    link_.adjusted_frequency = f;
    Store(f);
    std::uint8_t v[38] = {};
    for (int p = 1; p <= 4; ++p) v[p] = S[22 + p];
    for (int p = 5; p <= 7; ++p) v[p] = fw72_ ? S[42 + p] : S[34 + p];
    v[37] = fw72_ ? S[41] : 0xF8;
    const auto uf = static_cast<std::uint32_t>(f);
    v[8] = static_cast<std::uint8_t>(uf >> 24);
    v[9] = static_cast<std::uint8_t>(uf >> 16);
    v[10] = static_cast<std::uint8_t>(uf >> 8);
    v[11] = static_cast<std::uint8_t>(uf);
    v[12] = 0xFF;
    v[13] = static_cast<std::uint8_t>(n >> 8);
    v[14] = static_cast<std::uint8_t>(n);
    for (int p = 1; p <= 14; ++p) S[p] = R[p] = v[p];
    S[37] = R[37] = v[37];
    o = S + 1;
  } else {
    o = R + 1;
  }
  if (Quiet()) return;
  if ((o[6] & 1) != 0) {
    Line(8051);
    const std::uint32_t v = static_cast<std::uint32_t>(o[7]) << 24 |
                            static_cast<std::uint32_t>(o[8]) << 16 |
                            static_cast<std::uint32_t>(o[9]) << 8 | o[10];
    if (v == 0xFFFFFFFFu)
      Line(8068);
    else
      Line(8060, Mhz(v));
  } else {
    Line(8050);
    const std::uint32_t x = static_cast<std::uint32_t>(o[12] * 256 + o[13]);
    if (x != 0xFFFF) Line(8028, Mhz(x * static_cast<std::uint32_t>(baud_)));
  }
  const bool gain_line = family_ == 29 || family_ == 30 || family_ == 31 || family_ == 37 ||
                         (family_ >= 38 && family_ <= 43);
  if (gain_line) Bit(o[6], 1, 8031, 8032);
  const int w = o[0] * 256 + o[1];
  if (w != 0xFFFF) Line(8070, w * 0.001);
  Bit(o[11], 0, 8061, 8062);
  Bit(o[6], 7, 8056, 8055);
  Bit(o[6], 4, 8058, 8057);
  Bit(o[5], 6, 8064, 8063);
  if (const char* const* table = texts::SixteenEntryLvd(family_)) {
    Line(8065, table[15 - (o[5] & 15)]);
  } else if (family_ == 26 || family_ == 27 || (family_ >= 29 && family_ <= 31)) {
    Line(8065, EightEntry()[7 - (o[5] & 7)]);
  }
  Bit(o[5], 7, 8066, 8067);
  if (const char* const* core = texts::CoreVoltageTable(family_)) Line(8071, core[o[36] & 0x1F]);
  Wdt(o[4]);
  Bit(o[11], 1, 8049, 8048);
  Bit(o[11], 2, 8072, 8073);
  if (fw72_) Bit(o[11], 3, 8074, 8075);
  Bit(o[6], 6, 8076, 8077);
  Bit(o[6], 5, 8078, 8079);
  const char* pin = (family_ == 27 || family_ == 32)   ? "P3.3"
                    : (family_ == 33 || family_ == 34) ? "P1.0"
                                                       : "P2.0";
  Line(((o[6] >> 3) & 1) != 0 ? 8080 : 8081, pin);
  const bool irc_layout = strncasecmp(link_.chip_name, "IRC", 3) == 0 || record_.id == 0xF55F;
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
  const std::int32_t f = Wrap(Count(13) * static_cast<std::uint32_t>(baud_));
  link_.measured_frequency = f;
  if (Quiet()) return;
  if (link_.link_kind == 0) Line(8060, Mhz(f));
  if ((R[4] & 1) != 0) {
    Line(8051);
    if (link_.link_kind == 0) {
      const std::uint32_t v = static_cast<std::uint32_t>(R[8]) << 24 |
                              static_cast<std::uint32_t>(R[9]) << 16 |
                              static_cast<std::uint32_t>(R[10]) << 8 | R[11];
      if (v == 0xFFFFFFFFu)
        Line(8068);
      else
        Line(8060, Mhz(v));
    }
  } else {
    Line(8050);
    const std::uint32_t x = static_cast<std::uint32_t>(R[13] * 256 + R[14]);
    if (x != 0xFFFF) Line(8028, Mhz(x * static_cast<std::uint32_t>(baud_)));
  }
  Bit(R[4], 1, 8031, 8032);
  Bit(R[12], 0, 8061, 8062);
  Bit(R[4], 4, 8058, 8057);
  Bit(R[3], 6, 8064, 8063);
  Bit(R[3], 7, 8066, 8067);
  Wdt(R[2]);
  Bit(R[12], 1, 8049, 8048);
  Bit(R[12], 2, 8072, 8073);
  Bit(R[12], 3, 8074, 8075);
  Bit(R[1], 2, 8076, 8077);
  Bit(R[4], 5, 8078, 8079);
  Line(((R[4] >> 3) & 1) != 0 ? 8080 : 8081, "P2.0");
  Date(42);
  Serial();
}

void Reporter::GroupIJKL(DecodingGroup group) {
  link_.measured_frequency = Wrap(Count(13) * static_cast<std::uint32_t>(baud_));
  if (Quiet()) return;
  const bool i = group == DecodingGroup::kI;
  const bool j = group == DecodingGroup::kJ;
  const bool k = group == DecodingGroup::kK;
  const bool l = group == DecodingGroup::kL;
  const std::uint32_t v = static_cast<std::uint32_t>(R[1]) << 24 |
                          static_cast<std::uint32_t>(R[2]) << 16 |
                          static_cast<std::uint32_t>(R[3]) << 8 | R[4];
  if (v == 0xFFFFFFFFu)
    Line(8068);
  else
    Line(8069, Mhz(v));
  const int w = S[23] * 256 + S[24];
  if (w != 0xFFFF) Line(8070, w * 0.001);
  if (!(l && family_ == 62)) Bit(R[10], 1, 8031, 8032);
  if (!k) Bit(R[9], 0, 8061, 8062);
  Bit(R[10], 7, 8056, 8055);
  Bit(R[11], 4, 8058, 8057);
  Bit(R[11], 6, 8064, 8063);
  const char* const* lvd = i ? texts::kLvdGroupI : l ? texts::kLvdGroupL : texts::kLvdGroupsJK;
  Line(8065, lvd[3 - (R[11] & 3)]);
  Wdt(R[15]);
  if (!k) {
    Bit(R[9], 1, 8049, 8048);
    Bit(R[9], 2, 8072, 8073);
    Bit(R[9], 3, 8074, 8075);
  }
  if (i) {
    Bit(R[10], 4, 8076, 8077);
    Bit(R[10], 5, 8078, 8079);
    Line(((R[10] >> 3) & 1) != 0 ? 8080 : 8081, "P2.0");
  }
  if (j) {
    if ((R[15] & 0x80) != 0) {
      Line(8085);
    } else {
      Line(8086);
      if ((R[12] & 0x20) != 0)
        Line(8087, texts::kEmulationPins[(R[12] >> 6) & 3]);
      else
        Line(8088);
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
  Line(8004, link_.chip_name);
  const int major = (link_.fw_version >> 4) & 15;
  const int minor = link_.fw_version & 15;
  if (link_.fw_build != 0)
    Line(8006, major, minor, link_.fw_build, link_.fw_letter);
  else
    Line(8005, major, minor, link_.fw_letter);
  if (link_.frequency_adjusted != 0 && link_.adjusted_frequency != 0) {
    Line(8091, Mhz(link_.set_frequency));
    Line(8092, Mhz(link_.adjusted_frequency));
    Line(8093, static_cast<double>(link_.trim_error));
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

void ReportOptions(IspLink& link) { Reporter(link).Run(); }

}  // namespace fw
