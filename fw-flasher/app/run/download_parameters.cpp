#include "app/run/download_parameters.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/project/gbk_text.h"
#include "isp/expected_chip.h"
#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"

namespace fw {
namespace {

// Two chips that answer with each other's id.
constexpr int kTwinChipA = 0xF569;
constexpr int kTwinChipB = 0xF56D;

// Option bytes 16 to 18, set from record 20.
constexpr int kOptionFlagsByte = 16;
constexpr std::uint8_t kBit0 = 0x01;
constexpr std::uint8_t kBit1 = 0x02;
constexpr std::uint8_t kBit2 = 0x04;
constexpr int kOptionByte17 = 17;
constexpr int kOptionByte18 = 18;

// Base of pass-through value 5 plus this, by board parameter P2.
constexpr int kPassThrough5WithP2 = 5;
constexpr int kPassThrough5WithoutP2 = 9;

constexpr int kImageUnit = 512;

void SetChip(const Project& project, IspLink& link) {
  const auto table = ChipTable();
  const std::size_t index =
      project.chip_index >= 0 && static_cast<std::size_t>(project.chip_index) < table.size()
          ? static_cast<std::size_t>(project.chip_index)
          : 0;
  const ChipRecord& record = table[index];
  ExpectChip(link, record);
  link.target.chip_index = static_cast<int>(index);
  const auto alternatives = AlternativeIds(record.id);
  std::copy(alternatives.begin(), alternatives.end(), link.target.alternative_ids);
  // The chip name identification logs for the expected chip: the project's own.
  std::string name = GbkToUtf8(project.String(ProjectStringId::kChipName));
  std::size_t end = std::min(name.size(), sizeof link.target.chip_name - 1);
  while (end > 0 && end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
    --end;  // not inside a character
  }
  std::fill(std::begin(link.target.chip_name), std::end(link.target.chip_name), '\0');
  std::copy_n(name.begin(), end, link.target.chip_name);
}

void SetOptionBytes(const Project& project, IspLink& link) {
  std::vector<std::uint8_t>& q = link.image.option_bytes;
  for (std::size_t w = 0; w < project.option_words.size(); ++w) {
    for (std::size_t b = 0; b < 4; ++b) {
      q[w * 4 + b] = static_cast<std::uint8_t>(project.option_words[w] >> (8 * b));
    }
  }
  const OptionByteSettings& o = project.option_bytes;
  q[kOptionFlagsByte] = 0xFF;
  if (!o.set_option_bytes_16_to_18) return;
  q[kOptionFlagsByte] &= static_cast<std::uint8_t>(~kBit0);
  if (!o.keep_option_16_bit_1) q[kOptionFlagsByte] &= static_cast<std::uint8_t>(~kBit1);
  if (!o.keep_option_16_bit_2) q[kOptionFlagsByte] &= static_cast<std::uint8_t>(~kBit2);
  q[kOptionByte17] = o.option_byte_17;
  q[kOptionByte18] = o.option_byte_18;
}

void SetPassword(const std::optional<std::string>& text, DownloadPassword& password) {
  if (!text) return;
  const std::size_t length =
      std::min(text->size(), static_cast<std::size_t>(DownloadPassword::kMaxLength));
  std::copy_n(text->begin(), length, password.bytes.begin());
  password.length = static_cast<int>(length);
}

TargetCommand CommandOf(const CommandLine& line, const std::vector<std::uint8_t>& bytes) {
  TargetCommand command;
  command.enabled = line.enabled;
  command.baud = line.baud;
  command.parity = line.parity;
  command.stop_bits = line.stop_bits;
  command.bytes = bytes;
  return command;
}

void SetTargetCommands(const Project& project, IspLink& link) {
  const UserInterfaceCommand& ui = project.user_interface_command;
  link.commands.user_interface = CommandOf(ui.line, ui.first_bytes);
  link.commands.user_interface_second = ui.second_bytes;
  link.commands.pre_command = CommandOf(project.pre_command.line, project.pre_command.bytes);
  UserInterfaceReply& reply = link.placements.user_interface;
  reply.enabled = ui.line.enabled;
  reply.address = ui.reply_address;
  reply.reply_length = std::min<int>(ui.reply_length, static_cast<int>(reply.reply.size()));
}

void SetParameters(const Project& project, const RunChoices& choices, IspLink& link) {
  link.outputs.language = choices.language;
  link.outputs.quiet_information =
      project.string_settings.quiet_information || choices.quiet_information;
  link.download.run_mode = choices.run_mode;
  link.download.silent = project.silent;
  link.download.program_variant = project.program_variant;
  link.download.option_extra_value = project.option_extra_value;

  link.board.p1 = project.board_p1;
  link.board.p2 = project.board_p2 != 0;
  // A byte on the wire: the board takes the low byte of five times the project's value.
  link.board.p3 = static_cast<std::uint8_t>(project.board_p3);
  link.board.p4 = project.board_p4;

  PassThroughValues& pass = link.pass_through;
  pass.option_flags = {project.option_flag_2, project.option_flag_3, project.option_flag_4,
                       project.option_flag_5};
  pass.value_1 = project.pass_through_1;
  pass.value_2 = project.pass_through_2;
  pass.value_3 = project.pass_through_3;
  pass.value_4 = project.pass_through_4;
  pass.value_5 = project.pass_through_5_base +
                 (project.board_p2 != 0 ? kPassThrough5WithP2 : kPassThrough5WithoutP2);

  link.serial.paced_sync = project.option_bytes.paced_sync;
  link.serial.handshake_baud = BaudOfIndex(choices.lowest_baud_index, kDefaultLowestBaudIndex);
  link.serial.highest_baud = BaudOfIndex(choices.highest_baud_index, kDefaultHighestBaudIndex);
  link.serial.baud_pause_override = project.baud_pause_override;
  link.serial.sync_burst = project.sync_burst;

  link.clock.set_frequency = project.set_frequency;
  if (project.frequency_override != 0) {
    link.clock.measured_frequency = project.frequency_override;
    link.clock.frequency_override = true;
  } else {
    link.clock.measured_frequency = AssumedClock(link.image.option_bytes[kAssumedClockOptionByte]);
  }

  if (project.user_key) {
    link.download.user_key_present = true;
    const std::size_t n = std::min(project.user_key->size(), link.image.user_key.size());
    std::copy_n(project.user_key->begin(), n, link.image.user_key.begin());
  }
  link.download.password_present = project.DownloadPasswordPresent();
  SetPassword(project.current_download_password, link.download.password);
  SetPassword(project.new_download_password, link.download.new_password);
  SetTargetCommands(project, link);
}

// Record 251 into block A, record 250 into block B, each clipped to its buffer.
void CopyBlock(const std::vector<std::uint8_t>& block, std::vector<std::uint8_t>& buffer,
               int& length) {
  const std::size_t n = std::min(block.size(), buffer.size());
  std::copy_n(block.begin(), n, buffer.begin());
  length = static_cast<int>(n);
}

void SetBoardBlocks(const Project& project, const RunChoices& choices, IspLink& link) {
  if (choices.run_mode == DownloadSettings::kRunModeBoard)
    link.board.program = project.board_program;
  CopyBlock(project.board_firmware_a, link.board.block_a, link.board.block_a_length);
  CopyBlock(project.board_firmware_b, link.board.block_b, link.board.block_b_length);
}

// Writes 0xFF over [address, address + length) where it lies inside the buffer.
void Blank(std::vector<std::uint8_t>& buffer, std::int64_t address, std::int64_t length) {
  const std::int64_t size = static_cast<std::int64_t>(buffer.size());
  const std::int64_t begin = std::clamp<std::int64_t>(address, 0, size);
  const std::int64_t end = std::clamp<std::int64_t>(address + length, begin, size);
  std::fill(buffer.begin() + begin, buffer.begin() + end, 0xFF);
}

}  // namespace

std::array<int, TargetIdentity::kAlternativeIdSlots> AlternativeIds(int chip_id) {
  std::array<int, TargetIdentity::kAlternativeIdSlots> ids;
  ids.fill(chip_id);
  if (chip_id == kTwinChipA) ids[0] = kTwinChipB;
  if (chip_id == kTwinChipB) ids[0] = kTwinChipA;
  return ids;
}

int BaudOfIndex(int index, int fallback_index) {
  const auto valid = [](int i) { return i >= 0 && i < static_cast<int>(kBaudTable.size()); };
  if (!valid(index)) index = fallback_index;
  return valid(index) ? kBaudTable[static_cast<std::size_t>(index)] : kBaudTable.front();
}

void CopyDownloadParameters(const Project& project, const RunChoices& choices, IspLink& link) {
  SetChip(project, link);
  SetOptionBytes(project, link);
  SetParameters(project, choices, link);
  SetBoardBlocks(project, choices, link);
}

void PlaceSerialNumbers(const std::array<PreparedSerial, SerialNumbers::kCount>& serials,
                        IspLink& link) {
  for (std::size_t n = 0; n < serials.size(); ++n) {
    const PreparedSerial& p = serials[n];
    SerialNumberPlacement& placement = link.placements.serial_numbers[n];
    placement.enabled = p.enabled;
    placement.address = p.address;
    placement.length = p.length;
    placement.format = p.format;
    placement.value = p.value.ToBytesLsbFirst();
    placement.step = p.step.ToBytesLsbFirst();
  }
}

void BuildImageSource(const Project& project, IspLink& link) {
  std::vector<std::uint8_t>& source = link.image.image_source;
  const std::int64_t capacity = static_cast<std::int64_t>(source.size());
  std::int64_t length = static_cast<std::int64_t>(project.code_block.size());
  if (!project.data_block.empty()) {
    length = static_cast<std::int64_t>(project.data_offset) +
             static_cast<std::int64_t>(project.data_block.size());
  }
  length = (length + kImageUnit - 1) / kImageUnit * kImageUnit;
  // The loader has refused blocks outside the buffer; the build stays inside it anyway.
  length = std::clamp<std::int64_t>(length, 0, capacity);
  std::fill_n(source.begin(), length, 0xFF);
  std::copy_n(
      project.code_block.begin(),
      std::min<std::int64_t>(static_cast<std::int64_t>(project.code_block.size()), capacity),
      source.begin());
  if (!project.data_block.empty() && project.data_offset >= 0) {
    const std::int64_t room = std::max<std::int64_t>(capacity - project.data_offset, 0);
    std::copy_n(project.data_block.begin(),
                std::min<std::int64_t>(static_cast<std::int64_t>(project.data_block.size()), room),
                source.begin() + std::min<std::int64_t>(project.data_offset, capacity));
  }
  link.image.image_length = static_cast<int>(length);
  if (link.download.program_variant) return;
  for (const SerialNumberSettings& s : project.serial_numbers) {
    if (s.enabled) Blank(source, s.address, s.length);
  }
}

}  // namespace fw
