#include "pack/project_writer.h"

#include <span>
#include <string_view>

#include "app/project/project_format.h"

namespace fw {
namespace pf = project_format;
namespace {

class ContainerWriter {
 public:
  ContainerWriter() : bytes_(pf::kMagic.begin(), pf::kMagic.end()) {}

  // One record: header, payload, and a sum byte that makes all its bytes add up to 0.
  void Record(std::uint8_t type, std::span<const std::uint8_t> payload) {
    const std::size_t start = bytes_.size();
    bytes_.push_back(pf::kRecordTag);
    bytes_.push_back(type);
    bytes_.push_back(0);  // sum byte, set below
    bytes_.push_back(0);
    PutLe(static_cast<std::uint32_t>(payload.size()), 4, bytes_);
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    std::uint8_t sum = 0;
    for (std::size_t i = start; i < bytes_.size(); ++i)
      sum = static_cast<std::uint8_t>(sum + bytes_[i]);
    bytes_[start + pf::kHeaderSumOffset] = static_cast<std::uint8_t>(-sum);
  }

  static void PutLe(std::uint64_t value, int size, std::vector<std::uint8_t>& out) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }

  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

using Payload = std::vector<std::uint8_t>;

void Put8(Payload& p, std::uint8_t v) { p.push_back(v); }
void Put16(Payload& p, std::uint16_t v) { ContainerWriter::PutLe(v, 2, p); }
void Put32(Payload& p, std::uint32_t v) { ContainerWriter::PutLe(v, 4, p); }
void PutInt(Payload& p, std::int32_t v) { Put32(p, static_cast<std::uint32_t>(v)); }
void PutBytes(Payload& p, std::span<const std::uint8_t> b) {
  p.insert(p.end(), b.begin(), b.end());
}
void PutCounted(Payload& p, std::span<const std::uint8_t> b) {
  Put8(p, static_cast<std::uint8_t>(b.size()));
  PutBytes(p, b);
}
void PutText(Payload& p, std::string_view text) {
  p.insert(p.end(), text.begin(), text.end());
  p.push_back(0);
}

Payload IntPayload(std::int32_t v) {
  Payload p;
  PutInt(p, v);
  return p;
}

Payload BytePayload(std::uint8_t v) { return Payload{v}; }

Payload SerialNumbersPayload(const Project& project) {
  Payload p;
  for (const SerialNumberSettings& s : project.serial_numbers) {
    Put8(p, s.enabled ? 1 : 0);
    PutInt(p, s.length);
    PutBytes(p, s.start.ToBytesLsbFirst());
    PutInt(p, s.address);
    PutBytes(p, s.step.ToBytesLsbFirst());
  }
  for (const SerialNumberSettings& s : project.serial_numbers) Put8(p, s.format);
  return p;
}

Payload OptionFlagsPayload(const OptionByteSettings& o) {
  Payload p(pf::kOptionFlagsSize, 0);
  p[pf::kFlagOptionByte17] = o.option_byte_17;
  p[pf::kFlagKeepOption16Bit1] = o.keep_option_16_bit_1 ? 1 : 0;
  p[pf::kFlagOptionByte18] = o.option_byte_18;
  p[pf::kFlagKeepOption16Bit2] = o.keep_option_16_bit_2 ? 1 : 0;
  p[pf::kFlagSetOptionBytes16To18] = o.set_option_bytes_16_to_18 ? 1 : 0;
  p[pf::kFlagPacedSync] = o.paced_sync ? 1 : 0;
  return p;
}

void PutCommandLine(Payload& p, const CommandLine& line) {
  Put8(p, line.enabled ? 1 : 0);
  PutInt(p, line.baud);
  Put8(p, line.parity);
  Put8(p, line.stop_bits);
}

Payload PreCommandPayload(const PreCommand& c) {
  Payload p;
  PutCommandLine(p, c.line);
  PutCounted(p, c.bytes);
  return p;
}

Payload UserInterfaceCommandPayload(const UserInterfaceCommand& c) {
  Payload p;
  PutCommandLine(p, c.line);
  Put16(p, c.reply_length);
  PutInt(p, c.reply_address);
  PutCounted(p, c.first_bytes);
  PutCounted(p, c.second_bytes);
  return p;
}

Payload BoardPayload(const Project& project) {
  Payload p(pf::kBoardRecordSize, 0);
  p[pf::kBoardP2] = project.board_p2;
  p[pf::kBoardP3Fifths] = static_cast<std::uint8_t>(project.board_p3 / pf::kBoardP3Unit);
  p[pf::kBoardP4] = project.board_p4 ? 1 : 0;
  p[pf::kBoardOptionFlag2] = project.option_flag_2 ? 1 : 0;
  p[pf::kBoardOptionFlag3] = project.option_flag_3 ? 1 : 0;
  p[pf::kBoardOptionFlag4] = project.option_flag_4 ? 1 : 0;
  p[pf::kBoardOptionFlag5] = project.option_flag_5 ? 1 : 0;
  p[pf::kBoardPassThrough1] = project.pass_through_1;
  p[pf::kBoardPassThrough2] = project.pass_through_2;
  for (std::size_t i = 0; i < 4; ++i)
    p[pf::kBoardPassThrough3 + i] =
        static_cast<std::uint8_t>(static_cast<std::uint32_t>(project.pass_through_3) >> (8 * i));
  p[pf::kBoardPassThrough4] = project.pass_through_4;
  p[pf::kBoardPassThrough5Base] = project.pass_through_5_base;
  return p;
}

Payload StringsPayload(const std::vector<std::string>& strings) {
  Payload p;
  for (const std::string& s : strings) PutText(p, s);
  return p;
}

}  // namespace

std::vector<std::uint8_t> WriteProjectContainer(const Project& project) {
  ContainerWriter w;
  Payload version;
  PutText(version, pf::kCurrentVersionText);
  w.Record(pf::kFormatVersion, version);

  Payload chip;
  Put16(chip, project.chip_id);
  Put8(chip, project.chip_sub_model);
  w.Record(pf::kChip, chip);

  Payload words;
  for (std::uint32_t word : project.option_words) Put32(words, word);
  w.Record(pf::kOptionWords, words);
  w.Record(pf::kSetFrequency, IntPayload(project.set_frequency));
  w.Record(pf::kSerialNumbers, SerialNumbersPayload(project));
  w.Record(pf::kOptionFlags, OptionFlagsPayload(project.option_bytes));
  w.Record(pf::kProgramVariant, BytePayload(project.program_variant ? 1 : 0));
  w.Record(pf::kBoardP1, BytePayload(project.board_p1));
  w.Record(pf::kPreCommand, PreCommandPayload(project.pre_command));
  w.Record(pf::kUserInterfaceCommand, UserInterfaceCommandPayload(project.user_interface_command));
  w.Record(pf::kSilent, BytePayload(project.silent ? 1 : 0));
  if (project.current_download_password) {
    Payload p;
    PutText(p, *project.current_download_password);
    w.Record(pf::kCurrentDownloadPassword, p);
  }
  if (project.new_download_password) {
    Payload p;
    PutText(p, *project.new_download_password);
    w.Record(pf::kNewDownloadPassword, p);
  }
  w.Record(pf::kBoardAndPassThrough, BoardPayload(project));
  w.Record(pf::kFrequencyOverride, IntPayload(project.frequency_override));
  w.Record(pf::kBaudPauseOverride, IntPayload(project.baud_pause_override));
  w.Record(pf::kSyncBurst, IntPayload(project.sync_burst));
  w.Record(pf::kOptionExtraValue, IntPayload(project.option_extra_value));
  w.Record(pf::kDataOffset, IntPayload(project.data_offset));

  if (!project.board_program.empty()) w.Record(pf::kBoardProgram, project.board_program);
  if (!project.board_firmware_b.empty()) w.Record(pf::kBoardFirmwareB, project.board_firmware_b);
  if (!project.board_firmware_a.empty()) w.Record(pf::kBoardFirmwareA, project.board_firmware_a);
  w.Record(pf::kProjectStrings, StringsPayload(project.strings));
  if (project.user_key) w.Record(pf::kUserKey, *project.user_key);
  if (!project.data_block.empty()) w.Record(pf::kDataBlock, project.data_block);
  w.Record(pf::kCodeBlock, project.code_block);
  w.Record(pf::kEndOfRecords, {});
  return w.Take();
}

}  // namespace fw
