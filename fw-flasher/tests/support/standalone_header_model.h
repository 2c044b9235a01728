// The stand-alone header as its table lays it out, built by the tests on their
// own from the link's fields and the chip record, without the flasher's header
// code: byte offsets as the table gives them, big-endian numbers, 0xFF where
// the table writes nothing.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"

namespace fw::test {

struct ModelImage {
  std::vector<std::uint8_t> header = std::vector<std::uint8_t>(2048, 0xFF);
  long long n = 0;  // bytes of the program the header's sum covers
  long long f = 0;  // programmed size
};

inline void ModelPut(std::vector<std::uint8_t>& h, int at, unsigned long long v, int size) {
  for (int i = 0; i < size; ++i) h[at + i] = static_cast<std::uint8_t>(v >> (8 * (size - 1 - i)));
}

// program: the user program as the board receives it behind the header (at
// least n bytes, 0xFF past the image).
inline ModelImage ModelStandAloneHeader(const IspLink& l, const ChipRecord& r,
                                        const std::vector<std::uint8_t>& program) {
  ModelImage m;
  auto& h = m.header;
  const auto& q = l.image.option_bytes;
  const int family = static_cast<int>((r.flags >> 11) & 0xFF);
  const bool q16_bit0_clear = !(q[16] & 1);
  const bool q15_bit1 = (q[15] & 2) != 0;
  const auto& sn = l.placements.serial_numbers;
  const auto& ui = l.request.commands.user_interface;
  const auto& of = l.request.pass_through.option_flags;

  h[0] = 0x5A;
  h[1] = 0xA5;
  h[10] = static_cast<std::uint8_t>(l.request.handshake_baud / 1200);
  h[11] = static_cast<std::uint8_t>(l.request.pass_through.value_1);
  ModelPut(h, 12, r.id, 2);
  ModelPut(h, 14, r.alt_id, 2);
  int a = 0x20;
  if (l.request.user_key_present) a |= 0x01;
  if (l.request.program_variant) a |= 0x02;
  if (q16_bit0_clear) a |= 0x04;
  if (q16_bit0_clear && !(q[16] & 2)) a |= 0x08;
  if (q16_bit0_clear && !(q[16] & 4)) a |= 0x10;
  if (l.request.board.p2) a |= 0x40;
  if (r.flags & 0x10) a |= 0x80;
  h[16] = static_cast<std::uint8_t>(a);
  int b = 0;
  if (sn[0].enabled) b |= 0x01;
  if (sn[1].enabled) b |= 0x02;
  if (of[0]) b |= 0x04;
  if (!l.request.silent) b |= 0x10;
  if (ui.enabled) b |= 0x40;
  if (q15_bit1 && family >= 25) b |= 0x80;
  h[17] = static_cast<std::uint8_t>(b);
  int c = 0;
  if (q15_bit1 && family < 25) c |= 0x01;
  if (l.image.top_reserve) c |= 0x02;
  if (!of[1]) c |= 0x04;
  if (of[2]) c |= 0x08;
  if (of[3]) c |= 0x10;
  h[18] = static_cast<std::uint8_t>(c);
  h[19] = 0;
  ModelPut(h, 20, static_cast<std::uint32_t>(l.request.set_frequency), 4);
  ModelPut(h, 24, static_cast<std::uint32_t>(l.clock.measured_frequency), 4);
  ModelPut(h, 28, static_cast<std::uint32_t>(l.request.pass_through.value_3), 4);
  for (int i = 0; i < 16; ++i) h[32 + i] = q[i];
  if (family >= 45 && !(r.flags & 4)) h[35] = 0xFF;
  if (q16_bit0_clear) {
    h[48] = q[17];
    h[49] = q[18];
  }
  h[50] = l.request.board.p1;
  h[51] = static_cast<std::uint8_t>(family);
  long long n = l.image.image_length;
  for (int s = 0; s < 2; ++s) {
    if (sn[s].enabled) {
      ModelPut(h, 52 + 4 * s, static_cast<std::uint32_t>(sn[s].address), 4);
      n = std::max(n, static_cast<long long>(sn[s].address) + sn[s].length);
    }
    h[60 + s] = static_cast<std::uint8_t>(sn[s].length);
    h[62 + s] = static_cast<std::uint8_t>(sn[s].format);
    for (int i = 0; i < 16; ++i) {
      h[64 + 16 * s + i] = sn[s].step[15 - i];
      h[96 + 16 * s + i] = sn[s].value[15 - i];
    }
  }
  h[128] = l.request.board.p3;
  if (ui.enabled) {
    h[163] = static_cast<std::uint8_t>(ui.baud / 1200);
    const int first = std::min<int>(32, static_cast<int>(ui.bytes.size()));
    h[164] = static_cast<std::uint8_t>(first);
    for (int i = 0; i < first; ++i) h[165 + i] = ui.bytes[i];
    const auto& second_bytes = l.request.commands.user_interface_second;
    const int second = std::min<int>(31, static_cast<int>(second_bytes.size()));
    h[197] = static_cast<std::uint8_t>(second);
    for (int i = 0; i < second; ++i) h[198 + i] = second_bytes[i];
    const int reply = std::min(2048, l.placements.user_interface.reply_length);
    ModelPut(h, 229, static_cast<std::uint32_t>(reply), 2);
    ModelPut(h, 231, static_cast<std::uint32_t>(l.placements.user_interface.address), 4);
    n = std::max(n, static_cast<long long>(l.placements.user_interface.address) + reply);
  }
  ModelPut(h, 271, r.code_size, 4);
  ModelPut(h, 275,
           l.image.top_reserve && (r.flags & 4) ? r.total_size - 2048 : r.code_size + r.data_size,
           4);
  h[279] = static_cast<std::uint8_t>(std::min(l.request.pass_through.value_2, 16) * 10);
  if (l.request.password_present) {
    const auto& p = l.request.password;
    const auto& np = l.request.new_password;
    h[280] = static_cast<std::uint8_t>(p.length);
    h[281] = static_cast<std::uint8_t>(np.length);
    for (int i = 0; i < p.length; ++i) h[282 + i] = p.bytes[i];
    for (int i = 0; i < np.length; ++i) h[346 + i] = np.bytes[i];
  } else {
    h[280] = 0;
    h[281] = 0;
  }
  h[410] = static_cast<std::uint8_t>(l.request.option_extra_value);
  h[411] = static_cast<std::uint8_t>(l.request.pass_through.value_5);
  h[412] = static_cast<std::uint8_t>(l.request.pass_through.value_4);
  if (l.request.user_key_present) {
    for (int i = 0; i < 256; ++i) h[768 + i] = l.image.user_key[i];
  }
  if (q15_bit1 && family < 45) n = std::max(n, static_cast<long long>(r.code_size));

  long long f = (n + 127) / 128 * 128;
  std::string prefix(l.target.chip_name, strnlen(l.target.chip_name, 3));
  for (char& ch : prefix) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (prefix == "IRC" || r.id == 0xF55F) {
    f = std::min(f, static_cast<long long>(r.code_size) - r.tail_reserve);
  }
  unsigned program_sum = 0;
  for (long long i = 0; i < n; ++i) program_sum += program[static_cast<std::size_t>(i)];
  ModelPut(h, 4, program_sum & 0xFFFF, 2);
  ModelPut(h, 6, static_cast<unsigned long long>(f), 4);
  unsigned header_sum = 0;
  for (int i = 4; i < 1024; ++i) header_sum += h[i];
  ModelPut(h, 2, header_sum & 0xFFFF, 2);
  m.n = n;
  m.f = f;
  return m;
}

}  // namespace fw::test
