// libFuzzer target: the code image and the option block from arbitrary link
// fields (any chip, firmware, lengths, addresses and placements). Every write
// must stay inside its buffer (the sanitizers watch), the lengths inside the
// code image, and the record list must stay readable to its end.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdlib>

#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"
#include "target/chips/code_image.h"
#include "target/chips/option_block.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

int AnyInt(FuzzedDataProvider& in) {
  // Mostly plausible values, sometimes the extremes.
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return in.ConsumeIntegral<int>();
    case 1:
      return in.ConsumeIntegralInRange(-16, 16);
    default:
      return in.ConsumeIntegralInRange(0, 200000);
  }
}

void Fill(FuzzedDataProvider& in, fw::IspLink& link) {
  const auto table = fw::ChipTable();
  link.target.chip_index = in.ConsumeIntegralInRange<int>(-1, static_cast<int>(table.size()));
  link.target.fw_version = in.ConsumeIntegral<std::uint8_t>();
  link.target.fw_build = in.ConsumeIntegral<std::uint8_t>();
  link.target.option_capable_firmware = in.ConsumeBool();
  link.image.top_reserve = in.ConsumeBool();
  link.image.image_length = AnyInt(in);
  for (auto& b : link.image.option_bytes) b = in.ConsumeIntegral<std::uint8_t>();
  for (auto& b : link.target.status_record) b = in.ConsumeIntegral<std::uint8_t>();
  for (auto& b : link.target.chip_serial) b = in.ConsumeIntegral<std::uint8_t>();
  for (fw::SerialNumberPlacement& s : link.placements.serial_numbers) {
    s.enabled = in.ConsumeBool();
    s.address = AnyInt(in);
    s.length = AnyInt(in);
    for (auto& b : s.value) b = in.ConsumeIntegral<std::uint8_t>();
  }
  fw::UserInterfaceReply& ui = link.placements.user_interface;
  ui.enabled = in.ConsumeBool();
  ui.address = AnyInt(in);
  ui.reply_length = AnyInt(in);
  link.clock.adjusted_frequency = in.ConsumeIntegral<int>();
  for (auto& b : link.clock.trim_bytes) b = in.ConsumeIntegral<std::uint8_t>();
  link.request.option_extra_value = in.ConsumeIntegral<int>();
  link.request.password_present = in.ConsumeBool();
  link.request.new_password.length = in.ConsumeIntegralInRange(0, 63);
}

// Walks the record list as the program step does.
void CheckRecords(const std::vector<std::uint8_t>& list) {
  std::size_t at = 0;
  while (at + 4 <= list.size() && list[at] == 0x5A) {
    const std::size_t n = list[at + 3];
    Check(n > 0 && at + 4 + n <= list.size());
    at += 4 + n;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fw::IspLink link;
  link.Reinitialise();
  link.outputs.echo = nullptr;
  FuzzedDataProvider in(data, size);
  Fill(in, link);
  const bool with_records = in.ConsumeBool();
  const int capacity = static_cast<int>(link.image.code_image.size());

  const int length = fw::PrepareImage(link, with_records, true);
  Check(length >= 0 && length <= capacity);
  Check(link.image.code_length == 0);  // the length mode changes nothing

  const int cut = fw::PrepareImage(link, with_records, false);
  Check(cut == 0 || cut == 1);
  Check(link.image.code_length >= 0 && link.image.code_length <= capacity);
  CheckRecords(link.image.extra_records);

  std::array<std::uint8_t, fw::kOptionBlockSize> block{};
  const int sent = fw::BuildOptionBlock(link, block);
  Check(sent == 40 || sent == 64);
  return 0;
}
