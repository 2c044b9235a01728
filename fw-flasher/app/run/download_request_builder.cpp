#include "app/run/download_request_builder.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/project/gbk_text.h"
#include "isp/expected_chip.h"
#include "isp/link/image_buffers.h"
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

// The chip name identification logs for the expected chip: the project's own,
// cut to what the link holds, not inside a character.
std::string ChipName(const Project& project) {
  std::string name = GbkToUtf8(project.String(ProjectStringId::kChipName));
  std::size_t end =
      std::min(name.size(), static_cast<std::size_t>(TargetIdentity::kChipNameSize - 1));
  while (end > 0 && end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
    --end;
  }
  name.resize(end);
  return name;
}

ExpectedChip ChipOfProject(const Project& project) {
  const auto table = ChipTable();
  const std::size_t index =
      project.chip_index >= 0 && static_cast<std::size_t>(project.chip_index) < table.size()
          ? static_cast<std::size_t>(project.chip_index)
          : 0;
  ExpectedChip chip = ExpectedChipOf(table[index]);
  chip.chip_index = static_cast<int>(index);
  chip.alternative_ids = AlternativeIds(chip.id);
  chip.name = ChipName(project);
  return chip;
}

void SetOptionBytes(const Project& project, DownloadRequest& request) {
  std::vector<std::uint8_t>& q = request.option_bytes;
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

DownloadPassword PasswordOf(const std::optional<std::string>& text) {
  DownloadPassword password;
  if (!text) return password;
  const std::size_t length =
      std::min(text->size(), static_cast<std::size_t>(DownloadPassword::kMaxLength));
  std::copy_n(text->begin(), length, password.bytes.begin());
  password.length = static_cast<int>(length);
  return password;
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

TargetCommands CommandsOf(const Project& project) {
  const UserInterfaceCommand& ui = project.user_interface_command;
  TargetCommands commands;
  commands.user_interface = CommandOf(ui.line, ui.first_bytes);
  commands.user_interface_second = ui.second_bytes;
  commands.user_interface_reply_address = ui.reply_address;
  commands.user_interface_reply_length = ui.reply_length;
  commands.pre_command = CommandOf(project.pre_command.line, project.pre_command.bytes);
  return commands;
}

BoardRequest BoardOf(const Project& project, RunMode run_mode) {
  BoardRequest board;
  board.p1 = project.board_p1;
  board.p2 = project.board_p2 != 0;
  // A byte on the wire: the board takes the low byte of five times the project's value.
  board.p3 = static_cast<std::uint8_t>(project.board_p3);
  board.p4 = project.board_p4;
  board.firmware_a = project.board_firmware_a;
  board.firmware_b = project.board_firmware_b;
  if (run_mode == RunMode::kBoard) board.program = project.board_program;
  return board;
}

PassThroughValues PassThroughOf(const Project& project) {
  PassThroughValues pass;
  pass.option_flags = {project.option_flag_2, project.option_flag_3, project.option_flag_4,
                       project.option_flag_5};
  pass.value_1 = project.pass_through_1;
  pass.value_2 = project.pass_through_2;
  pass.value_3 = project.pass_through_3;
  pass.value_4 = project.pass_through_4;
  pass.value_5 = project.pass_through_5_base +
                 (project.board_p2 != 0 ? kPassThrough5WithP2 : kPassThrough5WithoutP2);
  return pass;
}

// Writes 0xFF over [address, address + length) where it lies inside the buffer.
void Blank(std::vector<std::uint8_t>& buffer, std::int64_t address, std::int64_t length) {
  const std::int64_t size = static_cast<std::int64_t>(buffer.size());
  const std::int64_t begin = std::clamp<std::int64_t>(address, 0, size);
  const std::int64_t end = std::clamp<std::int64_t>(address + length, begin, size);
  std::fill(buffer.begin() + begin, buffer.begin() + end, 0xFF);
}

void BuildImageSource(const Project& project, DownloadRequest& request) {
  std::vector<std::uint8_t> source = ImageBuffers::FreshImageSource();
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
  if (!project.program_variant) {
    for (const SerialNumberSettings& s : project.serial_numbers) {
      if (s.enabled) Blank(source, s.address, s.length);
    }
  }
  request.image_source = std::move(source);
  request.image_length = static_cast<int>(length);
}

}  // namespace

std::array<int, TargetIdentity::kAlternativeIdSlots> AlternativeIds(int chip_id) {
  std::array<int, TargetIdentity::kAlternativeIdSlots> ids;
  ids.fill(chip_id);
  if (chip_id == kTwinChipA) ids[0] = kTwinChipB;
  if (chip_id == kTwinChipB) ids[0] = kTwinChipA;
  return ids;
}

DownloadRequest BuildDownloadRequest(const Project& project, const RunChoices& choices) {
  DownloadRequest request;
  request.run_mode = choices.run_mode;
  request.language = choices.language;
  request.quiet_information =
      project.string_settings.quiet_information || choices.quiet_information;
  request.silent = project.silent;

  request.chip = ChipOfProject(project);

  request.handshake_baud = choices.handshake_baud;
  request.highest_baud = choices.highest_baud;
  request.sync_burst = project.sync_burst;
  request.paced_sync = project.option_bytes.paced_sync;
  request.baud_pause_override = project.baud_pause_override;

  request.set_frequency = project.set_frequency;
  request.frequency_override = project.frequency_override != 0;
  request.fixed_frequency = project.frequency_override;

  SetOptionBytes(project, request);
  BuildImageSource(project, request);
  request.program_variant = project.program_variant;
  if (project.user_key) {
    request.user_key_present = true;
    request.user_key = *project.user_key;
  }
  request.password_present = project.DownloadPasswordPresent();
  request.password = PasswordOf(project.current_download_password);
  request.new_password = PasswordOf(project.new_download_password);
  request.option_extra_value = project.option_extra_value;

  request.commands = CommandsOf(project);
  request.board = BoardOf(project, choices.run_mode);
  request.pass_through = PassThroughOf(project);
  return request;
}

void PlaceSerialNumbers(const std::array<PreparedSerial, SerialNumbers::kCount>& serials,
                        DownloadRequest& request) {
  for (std::size_t n = 0; n < serials.size(); ++n) {
    const PreparedSerial& p = serials[n];
    SerialNumberPlacement& placement = request.serial_numbers[n];
    placement.enabled = p.enabled;
    placement.address = p.address;
    placement.length = p.length;
    placement.format = p.format;
    placement.value = p.value.ToBytesLsbFirst();
    placement.step = p.step.ToBytesLsbFirst();
  }
}

}  // namespace fw
