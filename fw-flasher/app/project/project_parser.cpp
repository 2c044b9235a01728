#include "app/project/project_parser.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <numeric>

#include "app/project/payload_reader.h"
#include "app/project/project_format.h"
#include "app/project/project_limits.h"
#include "target/chips/chip_table.h"

namespace fw {
namespace pf = project_format;
namespace {

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

unsigned HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  return static_cast<unsigned>(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
}

// "ISP.X.Y" with hexadecimal X and Y: V = X * 256 + Y (unsigned, wrapping on
// absurdly long digit strings). Empty when the text does not begin with "ISP.".
std::optional<std::uint32_t> ReadFormatVersion(std::span<const std::uint8_t> payload) {
  PayloadReader reader(payload);
  const std::string text = reader.TextToEnd();
  if (!text.starts_with(pf::kVersionPrefix)) return std::nullopt;
  std::size_t at = pf::kVersionPrefix.size();
  auto read_hex = [&] {
    std::uint32_t v = 0;
    while (at < text.size() && IsHexDigit(text[at])) v = v * 16 + HexDigitValue(text[at++]);
    return v;
  };
  const std::uint32_t major = read_hex();
  std::uint32_t minor = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    minor = read_hex();
  }
  return major * 256 + minor;
}

bool ReadChip(PayloadReader& r, Project& p) {
  std::uint16_t id = 0;
  std::uint8_t sub_model = 0;
  if (!r.U16(id) || !r.Byte(sub_model)) return false;
  p.chip_id = id;
  p.chip_sub_model = sub_model;
  p.chip_index = ChipIndexForIdentity(id, sub_model);
  return true;
}

bool ReadOptionWords(PayloadReader& r, Project& p) {
  std::array<std::uint32_t, pf::kOptionWordCount> words{};
  for (auto& w : words)
    if (!r.U32(w)) return false;
  p.option_words = words;
  return true;
}

// One serial number of record 19: 128-bit values from version 6.20, signed
// 64-bit values before.
bool ReadSerial(PayloadReader& r, bool wide, SerialNumberSettings& s) {
  if (!r.Flag(s.enabled) || !r.I32(s.length)) return false;
  auto read_value = [&](SerialValue& v) {
    if (wide) return r.Serial128(v);
    std::int64_t narrow = 0;
    if (!r.I64(narrow)) return false;
    v = SerialValue::FromSigned64(narrow);
    return true;
  };
  return read_value(s.start) && r.I32(s.address) && read_value(s.step);
}

bool ReadSerialNumbers(PayloadReader& r, std::uint32_t version, Project& p) {
  const bool wide = version >= pf::kVersionWideSerials;
  const bool with_formats = version >= pf::kVersionSerialFormats;
  std::array<SerialNumberSettings, pf::kSerialCount> serials{};
  for (auto& s : serials)
    if (!ReadSerial(r, wide, s)) return false;
  if (with_formats) {
    for (auto& s : serials)
      if (!r.Byte(s.format)) return false;
  }
  p.serial_numbers = serials;
  return true;
}

bool ReadOptionFlags(PayloadReader& r, Project& p) {
  std::vector<std::uint8_t> b;
  if (!r.Bytes(pf::kOptionFlagsSize, b)) return false;
  OptionByteSettings& o = p.option_bytes;
  o.option_byte_17 = b[pf::kFlagOptionByte17];
  o.keep_option_16_bit_1 = b[pf::kFlagKeepOption16Bit1] != 0;
  o.option_byte_18 = b[pf::kFlagOptionByte18];
  o.keep_option_16_bit_2 = b[pf::kFlagKeepOption16Bit2] != 0;
  o.set_option_bytes_16_to_18 = b[pf::kFlagSetOptionBytes16To18] != 0;
  o.paced_sync = b[pf::kFlagPacedSync] != 0;
  return true;
}

bool ReadCommandLine(PayloadReader& r, CommandLine& line) {
  return r.Flag(line.enabled) && r.I32(line.baud) && r.Byte(line.parity) && r.Byte(line.stop_bits);
}

bool ReadPreCommand(PayloadReader& r, Project& p) {
  PreCommand c;
  if (!ReadCommandLine(r, c.line) || !r.CountedBytes(c.bytes)) return false;
  p.pre_command = std::move(c);
  return true;
}

bool ReadUserInterfaceCommand(PayloadReader& r, Project& p) {
  UserInterfaceCommand c;
  if (!ReadCommandLine(r, c.line) || !r.U16(c.reply_length) || !r.I32(c.reply_address) ||
      !r.CountedBytes(c.first_bytes) || !r.CountedBytes(c.second_bytes))
    return false;
  p.user_interface_command = std::move(c);
  return true;
}

bool ReadBoardAndPassThrough(PayloadReader& r, Project& p) {
  std::vector<std::uint8_t> b;
  if (!r.Bytes(pf::kBoardRecordSize, b)) return false;
  p.board_p2 = b[pf::kBoardP2];
  p.board_p3 = b[pf::kBoardP3Fifths] * pf::kBoardP3Unit;
  p.board_p4 = b[pf::kBoardP4] != 0;
  p.option_flag_2 = b[pf::kBoardOptionFlag2] != 0;
  p.option_flag_3 = b[pf::kBoardOptionFlag3] != 0;
  p.option_flag_4 = b[pf::kBoardOptionFlag4] != 0;
  p.option_flag_5 = b[pf::kBoardOptionFlag5] != 0;
  p.pass_through_1 = b[pf::kBoardPassThrough1];
  p.pass_through_2 = b[pf::kBoardPassThrough2];
  std::uint32_t value3 = 0;
  for (int i = 3; i >= 0; --i) value3 = value3 << 8 | b[pf::kBoardPassThrough3 + i];
  p.pass_through_3 = static_cast<std::int32_t>(value3);
  p.pass_through_4 = b[pf::kBoardPassThrough4];
  p.pass_through_5_base = b[pf::kBoardPassThrough5Base];
  return true;
}

// NUL-terminated texts one after the other; the last one may lack its NUL.
std::vector<std::string> SplitStrings(std::span<const std::uint8_t> payload) {
  std::vector<std::string> strings;
  auto at = payload.begin();
  while (at != payload.end()) {
    const auto end = std::find(at, payload.end(), std::uint8_t{0});
    strings.emplace_back(at, end);
    at = end == payload.end() ? end : end + 1;
  }
  return strings;
}

std::string PasswordText(PayloadReader& r) {
  std::string text = r.TextToEnd();
  if (text.size() > pf::kPasswordMaxLength) text.resize(pf::kPasswordMaxLength);
  return text;
}

// Stores one record's fields. False for a payload too short for its layout: a
// damaged record.
bool StoreRecord(std::uint8_t type, std::span<const std::uint8_t> payload, Project& p) {
  PayloadReader r(payload);
  switch (type) {
    case pf::kChip:
      return ReadChip(r, p);
    case pf::kOptionWords:
      return ReadOptionWords(r, p);
    case pf::kSetFrequency:
      return r.I32(p.set_frequency);
    case pf::kSerialNumbers:
      return ReadSerialNumbers(r, p.format_version, p);
    case pf::kOptionFlags:
      return ReadOptionFlags(r, p);
    case pf::kProgramVariant:
      return r.Flag(p.program_variant);
    case pf::kBoardP1:
      return r.Byte(p.board_p1);
    case pf::kPreCommand:
      return ReadPreCommand(r, p);
    case pf::kUserInterfaceCommand:
      return ReadUserInterfaceCommand(r, p);
    case pf::kSilent:
      return r.Flag(p.silent);
    case pf::kCurrentDownloadPassword:
      p.current_download_password = PasswordText(r);
      return true;
    case pf::kNewDownloadPassword:
      p.new_download_password = PasswordText(r);
      return true;
    case pf::kBoardAndPassThrough:
      return ReadBoardAndPassThrough(r, p);
    case pf::kFrequencyOverride:
      return r.I32(p.frequency_override);
    case pf::kBaudPauseOverride:
      return r.I32(p.baud_pause_override);
    case pf::kSyncBurst:
      return r.I32(p.sync_burst);
    case pf::kOptionExtraValue:
      return r.I32(p.option_extra_value);
    case pf::kDataOffset:
      return r.I32(p.data_offset);
    case pf::kBoardProgram:
      p.board_program.assign(payload.begin(), payload.end());
      return true;
    case pf::kBoardFirmwareB:
      p.board_firmware_b.assign(payload.begin(), payload.end());
      return true;
    case pf::kBoardFirmwareA:
      p.board_firmware_a.assign(payload.begin(), payload.end());
      return true;
    case pf::kProjectStrings:
      p.strings = SplitStrings(payload);
      return true;
    case pf::kUserKey:
      p.user_key.emplace(payload.begin(), payload.end());
      return true;
    case pf::kDataBlock:
      p.data_block.assign(payload.begin(), payload.end());
      return true;
    case pf::kCodeBlock:
      p.code_block.assign(payload.begin(), payload.end());
      return true;
    default:  // record 32 and unknown types carry nothing this system uses
      return true;
  }
}

std::string Hex(std::size_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%zX", value);
  return text;
}

std::uint32_t ReadLength(std::span<const std::uint8_t> header) {
  std::uint32_t n = 0;
  for (int i = 3; i >= 0; --i)
    n = n << 8 | header[pf::kHeaderLengthOffset + static_cast<std::size_t>(i)];
  return n;
}

}  // namespace

int ChipIndexForIdentity(int chip_id, int sub_model) {
  const int found = FindChipByIdentity(chip_id, sub_model);
  return found < 0 ? 0 : found;
}

bool EndsInsideARecord(RecordsEnd end) {
  return end == RecordsEnd::kBadSum || end == RecordsEnd::kPastTheEnd ||
         end == RecordsEnd::kShortPayload;
}

RecordsRead ReadProjectRecords(std::span<const std::uint8_t> container, Project& project) {
  std::size_t at = pf::kMagic.size();
  const auto stop = [&at](RecordsEnd end) { return RecordsRead{at, end}; };
  while (at < container.size()) {
    if (container[at] != pf::kRecordTag) return stop(RecordsEnd::kForeignTag);
    if (container.size() - at < pf::kRecordHeaderSize) return stop(RecordsEnd::kPastTheEnd);
    const auto header = container.subspan(at, pf::kRecordHeaderSize);
    const std::uint64_t length = ReadLength(header);
    if (length > container.size() - at - pf::kRecordHeaderSize)
      return stop(RecordsEnd::kPastTheEnd);
    const auto record = container.subspan(at, pf::kRecordHeaderSize + length);
    const std::uint8_t sum = std::accumulate(
        record.begin(), record.end(), std::uint8_t{0},
        [](std::uint8_t s, std::uint8_t b) { return static_cast<std::uint8_t>(s + b); });
    if (sum != 0) return stop(RecordsEnd::kBadSum);
    const std::uint8_t type = header[pf::kHeaderTypeOffset];
    if (type == pf::kEndOfRecords) return stop(RecordsEnd::kEndRecord);
    const auto payload = record.subspan(pf::kRecordHeaderSize);
    if (type == pf::kFormatVersion) {
      const auto version = ReadFormatVersion(payload);
      if (!version) return stop(RecordsEnd::kVersionWithoutIsp);
      project.format_version = *version;
    } else if (!StoreRecord(type, payload, project)) {
      return stop(RecordsEnd::kShortPayload);
    }
    at += record.size();
  }
  return stop(RecordsEnd::kEndOfData);
}

std::string DescribeRecordsEnd(std::span<const std::uint8_t> container, const RecordsRead& read) {
  const std::size_t at = read.offset;
  const std::size_t left = at < container.size() ? container.size() - at : 0;
  const std::string where = " at offset " + Hex(at);
  const std::string record =
      left > pf::kHeaderTypeOffset
          ? "the record of type " + std::to_string(container[at + pf::kHeaderTypeOffset]) + where
          : "the record" + where;
  switch (read.end) {
    case RecordsEnd::kEndOfData:
      return "the data ends" + where;
    case RecordsEnd::kEndRecord:
      return "the end record" + where;
    case RecordsEnd::kForeignTag:
      return "a byte other than a record's tag" + where;
    case RecordsEnd::kVersionWithoutIsp:
      return "a format version without \"ISP.\"" + where;
    case RecordsEnd::kBadSum:
      return record + " does not sum to 0";
    case RecordsEnd::kPastTheEnd:
      if (left < pf::kRecordHeaderSize)
        return "the record header" + where + " is cut short: " + std::to_string(left) + " of its " +
               std::to_string(pf::kRecordHeaderSize) + " bytes follow";
      return record + " declares " + std::to_string(ReadLength(container.subspan(at))) +
             " payload bytes, but only " + std::to_string(left - pf::kRecordHeaderSize) +
             " follow: the data is cut short";
    case RecordsEnd::kShortPayload:
      return record + " is too short for its layout";
  }
  return record;
}

ProjectParseResult ParseProjectContainer(std::span<const std::uint8_t> container) {
  ProjectParseResult result;
  if (container.size() < pf::kMagic.size() ||
      !std::equal(pf::kMagic.begin(), pf::kMagic.end(), container.begin())) {
    result.refusal = "the project data does not begin with its magic";
    return result;
  }
  Project project;
  const RecordsRead read = ReadProjectRecords(container, project);
  if (EndsInsideARecord(read.end)) {
    result.refusal = "the project data is damaged: " + DescribeRecordsEnd(container, read);
    return result;
  }
  // A project without its firmware would erase the chip and program nothing.
  if (project.code_block.empty()) {
    result.refusal =
        "the project data carries no firmware: no code block with bytes in it up to where "
        "the records end (" +
        DescribeRecordsEnd(container, read) + ")";
    return result;
  }
  result.refusal = ApplyLoadLimits(project);
  if (!result.refusal.empty()) return result;
  project.string_settings = ReadStringSettings(project);
  result.project = std::move(project);
  return result;
}

}  // namespace fw
