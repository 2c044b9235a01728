#include "target/chips/option_reading.h"

#include <algorithm>

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "target/chips/link_chip.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

// Products in the boot loader's 32-bit arithmetic wrap; so do they here.
std::int32_t Wrap(std::uint32_t v) { return static_cast<std::int32_t>(v); }

class Reader {
 public:
  Reader(const IspLink& link, const OptionSource& source)
      : link_(link),
        T(link.framing.send_buffer),
        record_(ChipOf(link)),
        fw72_(link.target.fw_version >= kFirmware72),
        baud_(link.request.handshake_baud),
        pending_(link.framing.send_buffer[0] != boot_loader::kNoRequest &&
                 link.framing.send_buffer[0] != board::kStartTarget),
        reply_payload_(source.reply_payload) {
    out_.group = TraitsOf(record_).group;
    std::copy(std::begin(link.target.status_record), std::end(link.target.status_record),
              out_.status.begin());
    const std::size_t n = std::min(source.reply.size(), out_.reply.size());
    std::copy_n(source.reply.begin(), n, out_.reply.begin());
  }

  OptionReading Read() {
    switch (out_.group) {
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
      default:
        // Groups H to L: the clock from the count; the lines read the bytes.
        Always(Wrap(Count(status_offset::kClockCount) * static_cast<std::uint32_t>(baud_)));
        break;
    }
    return out_;
  }

 private:
  std::uint8_t S(int k) const { return out_.status[static_cast<std::size_t>(k)]; }
  std::uint8_t R(int k) const { return out_.reply[static_cast<std::size_t>(k)]; }
  void SetS(int k, std::uint8_t v) {
    out_.status[static_cast<std::size_t>(k)] = v;
    out_.status_writes.push_back({k, v});
  }
  void SetR(int k, std::uint8_t v) {
    out_.reply[static_cast<std::size_t>(k)] = v;
    out_.reply_writes.push_back({k, v});
  }
  void O(int k, std::uint8_t v) { out_.options[static_cast<std::size_t>(k)] = v; }

  std::uint32_t Count(int k) const { return static_cast<std::uint32_t>(S(k) * 256 + S(k + 1)); }
  // Kept unless the project fixes the frequency.
  void Store(std::int32_t f) { out_.measured_frequency = f; }
  void Always(std::int32_t f) {
    out_.measured_frequency = f;
    out_.measured_always = true;
  }
  std::int32_t ClassicCount3() const {
    return Wrap(Count(3) * static_cast<std::uint32_t>(baud_) * 12u) / 7;
  }
  std::int32_t Count13(std::uint32_t scale) const {
    return Wrap(Count(status_offset::kClockCount) * static_cast<std::uint32_t>(baud_) * scale);
  }
  // The options written are read from the reply up to byte `last`: when the
  // reply ended before it, those bytes are an older frame's.
  bool ReplyLacks(int last) {
    if (last < reply_payload_) return false;
    out_.not_reported_back = true;
    return true;
  }
  // Without capable firmware, chips that need it report their options as
  // these defaults, from status byte 23 on.
  void DefaultOptions(const std::uint8_t (&defaults)[7], int count) {
    if (!link_.target.option_capable_firmware &&
        (record_.flags & chip_flags::kOptionsNeedCapableFirmware) != 0) {
      for (int i = 0; i < count; ++i) SetS(23 + i, defaults[i]);
    }
  }

  void GroupA() {
    if (pending_) {
      if (!fw72_ && ReplyLacks(10)) return;
      O(0, fw72_ ? T[5] : R(10));
    } else if (fw72_) {
      Store(Count13(12));
      O(0, S(1));
    } else {
      Store(ClassicCount3());
      O(0, S(19));
    }
  }

  void GroupB() {
    if (pending_) {
      if (ReplyLacks(10)) return;
      O(0, R(10));
    } else {
      Store(ClassicCount3());
      O(0, S(19));
    }
  }

  void GroupCD(bool group_d) {
    std::uint8_t o0, o1, o2, o6;
    if (pending_) {
      if (fw72_) {
        o0 = T[11], o1 = T[10], o2 = T[9], o6 = T[12];
      } else {
        if (ReplyLacks(16)) return;
        o0 = R(10), o1 = R(11), o2 = R(12), o6 = R(16);
      }
    } else if (fw72_) {
      Store(Count13(1));
      o0 = S(7), o1 = S(6), o2 = S(5), o6 = S(8);
    } else {
      Store(ClassicCount3());
      static constexpr std::uint8_t kGroupC[7] = {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xBF};
      static constexpr std::uint8_t kGroupD[7] = {0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF};
      DefaultOptions(group_d ? kGroupD : kGroupC, 7);
      o0 = S(23), o1 = S(24), o2 = S(25), o6 = S(29);
    }
    O(0, o0);
    O(1, o1);
    O(2, o2);
    O(6, o6);
  }

  void GroupE() {
    std::uint8_t o0, o1, o2, o4;
    if (pending_) {
      if (fw72_) {
        o0 = T[12], o1 = T[11], o2 = T[10], o4 = T[9];
      } else {
        if (ReplyLacks(14)) return;
        o0 = R(10), o1 = R(11), o2 = R(12), o4 = R(14);
      }
    } else if (fw72_) {
      Store(Count13(1));
      o0 = S(8), o1 = S(7), o2 = S(6), o4 = S(5);
    } else {
      Store(ClassicCount3());
      static constexpr std::uint8_t kDefaults[7] = {0xBF, 0xFF, 0xFF, 0xFF, 0xFE, 0, 0};
      DefaultOptions(kDefaults, 5);
      o0 = S(23), o1 = S(24), o2 = S(25), o4 = S(27);
    }
    O(0, o0);
    O(1, o1);
    O(2, o2);
    O(4, o4);
  }

  // O0..O12 from the status record at `at` (or the reply), with the bits 0-2
  // of O1 inverted in place.
  void GroupF() {
    bool in_status = true;
    int at = 23;
    if (link_.target.protocol_variant == 4) {  // its status reply lays the options out anew
      // The layout below overwrites the count: a second report in the same
      // download keeps the clock the first one took, or the trim reached
      // since, and shows that.
      if (!link_.target.status_laid_out) {
        const std::uint32_t n = 65536u - Count(status_offset::kClockCount);
        const std::int32_t f = Wrap(n * static_cast<std::uint32_t>(baud_) * 4u);
        Always(f);
        out_.adjusted_frequency = f;
        out_.lays_out_status = true;
      }
      out_.adjusted_frequency_first = true;
      const std::uint8_t b1 = fw72_ ? S(49) : S(41);
      const std::uint8_t b2 = fw72_ ? S(48) : S(40);
      const std::uint8_t b3 = fw72_ ? S(47) : S(39);
      SetS(1, b1);
      SetR(1, b1);
      SetS(2, b2);
      SetR(2, b2);
      SetS(3, b3);
      SetR(3, b3);
      SetR(7, S(1));
      SetS(13, 0xFF);
      SetR(13, 0xFF);
      at = 1;
    } else if (T[0] == boot_loader::kWriteOptionsClassic) {
      if (ReplyLacks(22)) return;
      in_status = false;
      at = 10;
    }
    const std::uint8_t inverted = (in_status ? S(at + 1) : R(at + 1)) ^ 0x07;
    if (in_status) {
      SetS(at + 1, inverted);
    } else {
      SetR(at + 1, inverted);
    }
    for (int k = 0; k <= 12; ++k) O(k, in_status ? S(at + k) : R(at + k));
  }

  void GroupG() {
    if (link_.target.protocol_variant != 4) {
      for (int k = 0; k <= 36; ++k) O(k, R(1 + k));
      return;
    }
    // Its status reply lays the options out anew, at the same positions of
    // the status record and the receive buffer.
    std::uint8_t v[38] = {};
    if (link_.target.status_laid_out) {
      // Laid out by an earlier report of this download: the count it holds now
      // is the layout's, and the clock figures stay as they are.
      for (int p = 1; p <= 14; ++p) v[p] = S(p);
      v[37] = S(37);
    } else {
      const std::uint32_t n = 262144u - 4u * Count(status_offset::kClockCount);
      const std::int32_t f = Wrap(n * static_cast<std::uint32_t>(baud_));
      out_.adjusted_frequency = f;
      Store(f);
      out_.lays_out_status = true;
      for (int p = 1; p <= 4; ++p) v[p] = S(22 + p);
      for (int p = 5; p <= 7; ++p) v[p] = fw72_ ? S(42 + p) : S(34 + p);
      v[37] = fw72_ ? S(41) : 0xF8;  // the older firmware's fixed byte
      const auto uf = static_cast<std::uint32_t>(f);
      v[8] = static_cast<std::uint8_t>(uf >> 24);
      v[9] = static_cast<std::uint8_t>(uf >> 16);
      v[10] = static_cast<std::uint8_t>(uf >> 8);
      v[11] = static_cast<std::uint8_t>(uf);
      v[12] = 0xFF;
      v[13] = static_cast<std::uint8_t>(n >> 8);
      v[14] = static_cast<std::uint8_t>(n);
    }
    for (int p = 1; p <= 14; ++p) {
      SetS(p, v[p]);
      SetR(p, v[p]);
    }
    SetS(37, v[37]);
    SetR(37, v[37]);
    for (int k = 0; k <= 36; ++k) O(k, S(1 + k));
  }

  const IspLink& link_;
  const std::uint8_t* T;
  const ChipRecord& record_;
  const bool fw72_;
  const int baud_;
  const bool pending_;
  const int reply_payload_;
  OptionReading out_;
};

}  // namespace

OptionSource ReceivedOptions(const IspLink& link, int reply_payload) {
  return {std::span<const std::uint8_t>(link.framing.receive_buffer), reply_payload};
}

OptionReading ReadOptions(const IspLink& link, const OptionSource& source) {
  return Reader(link, source).Read();
}

void ApplyOptionReading(IspLink& link, const OptionReading& reading) {
  if (reading.measured_frequency && (reading.measured_always || !link.request.frequency_override)) {
    link.clock.measured_frequency = *reading.measured_frequency;
  }
  if (reading.adjusted_frequency) link.clock.adjusted_frequency = *reading.adjusted_frequency;
  if (reading.lays_out_status) link.target.status_laid_out = true;
  for (const ByteWrite& w : reading.status_writes) link.target.status_record[w.at] = w.value;
  for (const ByteWrite& w : reading.reply_writes) link.framing.receive_buffer[w.at] = w.value;
}

}  // namespace fw
