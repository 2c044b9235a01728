#include "pack/project_to_json.h"

#include <algorithm>
#include <cstdio>

#include "app/project/gbk_text.h"
#include "app/project/project_format.h"
#include "pack/description_values.h"
#include "pack/serial_text.h"
#include "target/board/project_scramble.h"
#include "target/chips/chip_table.h"

namespace fw {
namespace pf = project_format;
namespace {

const Json kMaskedPassword = {{"prompt", true}};

std::string Text(const Project& p, ProjectStringId id) { return GbkToUtf8(p.String(id)); }

Json Block(std::span<const std::uint8_t> bytes) { return Json{{"hex", HexFromBytes(bytes, "")}}; }

Json Hex32(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

Json Address(std::int32_t v) {
  if (v < 0) return v;
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(v));
  return text;
}

std::string_view NameOrNumber(std::span<const std::string_view> names, std::uint8_t value) {
  return value < names.size() ? names[value] : std::string_view{};
}

Json ParityJson(std::uint8_t parity) {
  const auto name = NameOrNumber(kParityNames, parity);
  return name.empty() ? Json(parity) : Json(name);
}

Json StopBitsJson(std::uint8_t stop_bits) {
  switch (stop_bits) {
    case pf::kStopBitsOne:
      return 1;
    case pf::kStopBitsOneAndHalf:
      return 1.5;
    case pf::kStopBitsTwo:
      return 2;
    default:
      return stop_bits;
  }
}

void PutCommandLine(Json& json, const CommandLine& line) {
  json["enabled"] = line.enabled;
  json["baud"] = line.baud;
  json["parity"] = ParityJson(line.parity);
  json["stop_bits"] = StopBitsJson(line.stop_bits);
}

Json SerialJson(const SerialNumberSettings& s) {
  const auto format = NameOrNumber(kSerialFormatNames, s.format);
  return Json{{"enabled", s.enabled},
              {"length", s.length},
              {"start", SerialToDecimal(s.start)},
              {"address", Address(s.address)},
              {"step", SerialToDecimal(s.step)},
              {"format", format.empty() ? Json(s.format) : Json(format)}};
}

Json BaudJson(int index) {
  return index >= 0 && static_cast<std::size_t>(index) < kBaudTable.size()
             ? Json(kBaudTable[static_cast<std::size_t>(index)])
             : Json(index);
}

Json LabelColourJson(int colour) {
  return colour >= 0 && colour <= 0xFFFFFF ? Json(ColourToText(colour)) : Json(colour);
}

}  // namespace

Json ProjectToJson(const Project& p) {
  Json j = Json::object();
  const auto table = ChipTable();
  const std::size_t chip = static_cast<std::size_t>(p.chip_index);
  j["chip"] = chip < table.size() ? table[chip].name : "";

  Json words = Json::array();
  for (std::uint32_t w : p.option_words) words.push_back(Hex32(w));
  j["option_words"] = words;
  j["set_frequency_hz"] = p.set_frequency;
  j["frequency_override_hz"] = p.frequency_override;
  j["baud_pause_override_ms"] = p.baud_pause_override;
  j["sync_burst"] = p.sync_burst;
  j["option_extra_value"] = p.option_extra_value;
  j["program_variant"] = p.program_variant;
  j["silent"] = p.silent;
  j["option_bytes"] = {{"set_option_bytes_16_to_18", p.option_bytes.set_option_bytes_16_to_18},
                       {"option_byte_17", p.option_bytes.option_byte_17},
                       {"option_byte_18", p.option_bytes.option_byte_18},
                       {"keep_option_16_bit_1", p.option_bytes.keep_option_16_bit_1},
                       {"keep_option_16_bit_2", p.option_bytes.keep_option_16_bit_2},
                       {"paced_sync", p.option_bytes.paced_sync}};
  j["board"] = {{"p1", p.board_p1}, {"p2", p.board_p2}, {"p3", p.board_p3}, {"p4", p.board_p4}};
  j["option_flags"] = {{"flag_2", p.option_flag_2},
                       {"flag_3", p.option_flag_3},
                       {"flag_4", p.option_flag_4},
                       {"flag_5", p.option_flag_5}};
  j["pass_through"] = {{"value_1", p.pass_through_1},
                       {"value_2", p.pass_through_2},
                       {"value_3", p.pass_through_3},
                       {"value_4", p.pass_through_4},
                       {"value_5_base", p.pass_through_5_base}};

  Json pre = Json::object();
  PutCommandLine(pre, p.pre_command.line);
  pre["bytes"] = HexFromBytes(p.pre_command.bytes, " ");
  j["pre_command"] = pre;
  const UserInterfaceCommand& u = p.user_interface_command;
  Json ui = Json::object();
  PutCommandLine(ui, u.line);
  ui["reply_length"] = u.reply_length;
  ui["reply_address"] = Address(u.reply_address);
  ui["first_bytes"] = HexFromBytes(u.first_bytes, " ");
  ui["second_bytes"] = HexFromBytes(u.second_bytes, " ");
  j["user_interface_command"] = ui;

  Json serials = Json::array();
  for (const SerialNumberSettings& s : p.serial_numbers) serials.push_back(SerialJson(s));
  j["serial_numbers"] = serials;

  j["data_offset"] = Address(p.data_offset);
  j["code_image"] = Block(p.code_block);
  if (!p.data_block.empty()) j["data_image"] = Block(p.data_block);
  if (p.user_key) j["user_key"] = Block(*p.user_key);
  if (!p.board_program.empty()) j["board_program"] = Block(p.board_program);
  if (!p.board_firmware_a.empty()) j["board_firmware_a"] = Block(p.board_firmware_a);
  if (!p.board_firmware_b.empty()) {
    std::vector<std::uint8_t> plain = p.board_firmware_b;
    UnscrambleProjectBytes(plain.data(), plain.size());
    j["board_firmware_b"] = Block(plain);
  }

  j["texts"] = {{"language", Text(p, ProjectStringId::kLanguage)},
                {"title", Text(p, ProjectStringId::kTitle)},
                {"start_once_caption", Text(p, ProjectStringId::kStartOnceCaption)},
                {"start_repeat_caption", Text(p, ProjectStringId::kStartRepeatCaption)},
                {"start_third_caption", Text(p, ProjectStringId::kStartThirdCaption)},
                {"serial_1_label", Text(p, ProjectStringId::kSerial1Label)},
                {"serial_2_label", Text(p, ProjectStringId::kSerial2Label)},
                {"initial_log", Text(p, ProjectStringId::kInitialLog)},
                {"chip_name", Text(p, ProjectStringId::kChipName)},
                {"application_name", Text(p, ProjectStringId::kApplicationName)}};
  const StringSettings& s = p.string_settings;
  j["lowest_baud"] = BaudJson(s.lowest_baud_index);
  j["highest_baud"] = BaudJson(s.highest_baud_index);
  j["repeat_delay"] = s.repeat_delay;
  j["label_colour"] = LabelColourJson(s.label_colour);
  j["quiet_information"] = s.quiet_information;
  j["auto_start"] = {{"enabled", s.auto_start}, {"port_index", s.fixed_port_index}};

  Json login = {{"required", s.login_required}};
  if (!p.String(ProjectStringId::kLoginDigest).empty()) login["password"] = kMaskedPassword;
  j["login"] = login;
  if (p.DownloadPasswordPresent()) {
    Json passwords = Json::object();
    if (p.current_download_password) passwords["current"] = kMaskedPassword;
    if (p.new_download_password) passwords["new"] = kMaskedPassword;
    j["download_passwords"] = passwords;
  }
  return j;
}

}  // namespace fw
