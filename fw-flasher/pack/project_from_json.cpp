#include "pack/project_from_json.h"

#include <algorithm>
#include <fstream>
#include <limits>

#include "app/project/gbk_text.h"
#include "app/project/project_format.h"
#include "app/project/project_limits.h"
#include "app/run/login_digest.h"
#include "pack/chip_choice.h"
#include "pack/description_values.h"
#include "pack/image_checks.h"
#include "pack/serial_text.h"
#include "pack/strict_json.h"
#include "target/board/project_scramble.h"
#include "target/chips/chip_table.h"
#include "target/chips/image_file.h"

namespace fw {
namespace pf = project_format;
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kUint32Max = std::numeric_limits<std::uint32_t>::max();
constexpr std::int64_t kByteMax = 0xFF;
// The worker waits (repeat delay + 1) * 10 tenths of a second, counted in an int.
constexpr std::int64_t kRepeatDelayMax = kInt32Max / 10 - 1;
// 255 serial ports and up to 255 USB writers in the port list.
constexpr std::int64_t kPortIndexMax = 509;
// The link's chip name holds 31 characters and the NUL.
constexpr std::size_t kChipNameMaxBytes = 31;
constexpr std::int64_t kDefaultLowestBaud = 2400;
constexpr std::int64_t kDefaultHighestBaud = 115200;

struct TextUse {
  std::string_view key;
  ProjectStringId id;
};
constexpr TextUse kTexts[] = {
    {"title", ProjectStringId::kTitle},
    {"start_once_caption", ProjectStringId::kStartOnceCaption},
    {"start_repeat_caption", ProjectStringId::kStartRepeatCaption},
    {"start_third_caption", ProjectStringId::kStartThirdCaption},
    {"serial_1_label", ProjectStringId::kSerial1Label},
    {"serial_2_label", ProjectStringId::kSerial2Label},
    {"initial_log", ProjectStringId::kInitialLog},
};

std::string& StringAt(Project& p, ProjectStringId id) {
  return p.strings[static_cast<std::size_t>(id)];
}

class DescriptionReader {
 public:
  DescriptionReader(std::filesystem::path base_dir, SecretInput& secrets)
      : base_dir_(std::move(base_dir)), secrets_(secrets) {
    project_.strings.resize(kKnownProjectStrings);
  }

  ProjectDescription Read(const Json& json) {
    FieldReader top(json, "");
    ReadChip(top);
    ReadOptionWords(top);
    ReadScalars(top);
    ReadOptionBytes(top);
    ReadBoard(top);
    ReadCommands(top);
    ReadImages(top);
    ReadSerialNumbers(top);
    ReadTexts(top);
    ReadStartSettings(top);
    ReadLogin(top);
    ReadDownloadPasswords(top);
    top.RefuseUnknownKeys();

    ImageChecks checks = CheckImages(project_, *chip_);
    warnings_.insert(warnings_.end(), checks.warnings.begin(), checks.warnings.end());
    // What the flasher refuses at start must never leave fw-pack.
    Project loaded = project_;
    if (const std::string refusal = ApplyLoadLimits(loaded); !refusal.empty())
      throw FieldError("project", refusal);
    project_.string_settings = ReadStringSettings(project_);
    return ProjectDescription{std::move(project_), std::move(warnings_)};
  }

 private:
  void ReadChip(FieldReader& top) {
    const std::string name = top.Text("chip", "");
    if (name.empty()) throw FieldError("chip", "the target chip model is required");
    const ChipChoice choice = ChooseChip(name);
    if (choice.index < 0) throw FieldError("chip", choice.problem);
    const ChipRecord& record = ChipTable()[static_cast<std::size_t>(choice.index)];
    chip_ = &record;
    project_.chip_id = record.id;
    project_.chip_sub_model = record.sub_model;
    project_.chip_index = choice.index;
  }

  void ReadOptionWords(FieldReader& top) {
    const Json* words = top.Take("option_words");
    if (!words) return;
    if (!words->is_array() || words->size() != pf::kOptionWordCount)
      throw FieldError("option_words", "a list of four 32-bit words is expected");
    for (std::size_t i = 0; i < pf::kOptionWordCount; ++i)
      project_.option_words[i] = static_cast<std::uint32_t>(
          IntegerValue((*words)[i], "option_words[" + std::to_string(i) + "]", 0, kUint32Max));
  }

  void ReadScalars(FieldReader& top) {
    auto int32 = [&](std::string_view key, std::int64_t min) {
      return static_cast<std::int32_t>(top.Integer(key, min, kInt32Max, 0));
    };
    project_.set_frequency = int32("set_frequency_hz", 0);
    project_.frequency_override = int32("frequency_override_hz", 0);
    project_.baud_pause_override = int32("baud_pause_override_ms", 0);
    project_.sync_burst = int32("sync_burst", 0);
    project_.option_extra_value = int32("option_extra_value", kInt32Min);
    project_.data_offset =
        static_cast<std::int32_t>(top.Integer("data_offset", 0, pf::kImageBufferSize, 0));
    project_.program_variant = top.Flag("program_variant", false);
    project_.silent = top.Flag("silent", false);
  }

  void ReadOptionBytes(FieldReader& top) {
    auto o = top.Object("option_bytes");
    if (!o) return;
    OptionByteSettings& s = project_.option_bytes;
    s.set_option_bytes_16_to_18 = o->Flag("set_option_bytes_16_to_18", false);
    s.keep_option_16_bit_1 = o->Flag("keep_option_16_bit_1", false);
    s.keep_option_16_bit_2 = o->Flag("keep_option_16_bit_2", false);
    s.option_byte_17 = static_cast<std::uint8_t>(o->Integer("option_byte_17", 0, kByteMax, 0));
    s.option_byte_18 = static_cast<std::uint8_t>(o->Integer("option_byte_18", 0, kByteMax, 0));
    s.paced_sync = o->Flag("paced_sync", false);
    o->RefuseUnknownKeys();
  }

  void ReadBoard(FieldReader& top) {
    auto byte = [](FieldReader& r, std::string_view key) {
      return static_cast<std::uint8_t>(r.Integer(key, 0, kByteMax, 0));
    };
    if (auto b = top.Object("board")) {
      project_.board_p1 = byte(*b, "p1");
      project_.board_p2 = byte(*b, "p2");
      project_.board_p3 = static_cast<int>(b->Integer("p3", 0, kByteMax, 0));
      if (project_.board_p3 % pf::kBoardP3Unit != 0)
        throw FieldError(b->PathOf("p3"), "must be a multiple of 5");
      project_.board_p4 = b->Flag("p4", false);
      b->RefuseUnknownKeys();
    }
    if (auto f = top.Object("option_flags")) {
      project_.option_flag_2 = f->Flag("flag_2", false);
      project_.option_flag_3 = f->Flag("flag_3", false);
      project_.option_flag_4 = f->Flag("flag_4", false);
      project_.option_flag_5 = f->Flag("flag_5", false);
      f->RefuseUnknownKeys();
    }
    if (auto v = top.Object("pass_through")) {
      project_.pass_through_1 = byte(*v, "value_1");
      project_.pass_through_2 = byte(*v, "value_2");
      project_.pass_through_3 =
          static_cast<std::int32_t>(v->Integer("value_3", kInt32Min, kInt32Max, 0));
      project_.pass_through_4 = byte(*v, "value_4");
      project_.pass_through_5_base = byte(*v, "value_5_base");
      v->RefuseUnknownKeys();
    }
  }

  static std::vector<std::uint8_t> HexBytes(FieldReader& r, std::string_view key, std::size_t max) {
    const std::string text = r.Text(key, "");
    const auto bytes = BytesFromHex(text);
    if (!bytes) throw FieldError(r.PathOf(key), "hexadecimal byte pairs are expected (\"AA 55\")");
    if (bytes->size() > max)
      throw FieldError(r.PathOf(key), "at most " + std::to_string(max) + " bytes");
    return *bytes;
  }

  static CommandLine ReadCommandLine(FieldReader& r) {
    CommandLine line;
    line.enabled = r.Flag("enabled", false);
    line.baud = static_cast<std::int32_t>(r.Integer("baud", line.enabled ? 1 : 0, kInt32Max, 0));
    if (const Json* parity = r.Take("parity")) {
      const auto found = parity->is_string() ? std::find(kParityNames.begin(), kParityNames.end(),
                                                         parity->get<std::string>())
                                             : kParityNames.end();
      if (found == kParityNames.end())
        throw FieldError(r.PathOf("parity"), "none, odd, even, mark or space");
      line.parity = static_cast<std::uint8_t>(found - kParityNames.begin());
    }
    if (const Json* stop = r.Take("stop_bits")) {
      if (stop->is_number() && stop->get<double>() == 1.5)
        throw FieldError(r.PathOf("stop_bits"), "one and a half stop bits are not supported");
      const std::int64_t bits = IntegerValue(*stop, r.PathOf("stop_bits"), 1, 2);
      line.stop_bits = bits == 1 ? pf::kStopBitsOne : pf::kStopBitsTwo;
    }
    return line;
  }

  void ReadCommands(FieldReader& top) {
    if (auto c = top.Object("pre_command")) {
      project_.pre_command.line = ReadCommandLine(*c);
      project_.pre_command.bytes = HexBytes(*c, "bytes", pf::kCommandByteCountMax);
      c->RefuseUnknownKeys();
    }
    if (auto c = top.Object("user_interface_command")) {
      UserInterfaceCommand& u = project_.user_interface_command;
      u.line = ReadCommandLine(*c);
      u.reply_length = static_cast<std::uint16_t>(
          c->Integer("reply_length", 0, static_cast<std::int64_t>(pf::kReplyLengthMax), 0));
      u.reply_address = static_cast<std::int32_t>(
          c->Integer("reply_address", 0, static_cast<std::int64_t>(pf::kReplyAreaEnd), 0));
      if (static_cast<std::size_t>(u.reply_address) + u.reply_length > pf::kReplyAreaEnd)
        throw FieldError(c->PathOf("reply_length"),
                         "the reply at reply_address must end within 65536 bytes");
      u.first_bytes = HexBytes(*c, "first_bytes", pf::kFirstBytesMax);
      u.second_bytes = HexBytes(*c, "second_bytes", pf::kSecondBytesMax);
      c->RefuseUnknownKeys();
    }
  }

  // A file name relative to the description, or {"hex": "..."} with the bytes.
  std::optional<std::vector<std::uint8_t>> ReadBlock(FieldReader& top, std::string_view key,
                                                     std::size_t max) {
    const Json* value = top.Take(key);
    if (!value) return std::nullopt;
    const std::string field = top.PathOf(key);
    std::vector<std::uint8_t> bytes;
    if (value->is_string()) {
      ImageFile image = ReadImageFile(base_dir_ / value->get<std::string>());
      if (!image.ok()) throw FieldError(field, image.error);
      bytes = std::move(image.bytes);
    } else {
      FieldReader inline_block(*value, field);
      bytes = HexBytes(inline_block, "hex", kImageFileCapacity);
      inline_block.RefuseUnknownKeys();
    }
    if (bytes.empty()) throw FieldError(field, "the image is empty");
    if (bytes.size() > max)
      throw FieldError(field, std::to_string(bytes.size()) + " bytes are more than its " +
                                  std::to_string(max) + "-byte buffer holds");
    return bytes;
  }

  void ReadImages(FieldReader& top) {
    auto code = ReadBlock(top, "code_image", pf::kImageBufferSize);
    if (!code) throw FieldError("code_image", "the firmware image is required");
    project_.code_block = std::move(*code);
    if (auto data = ReadBlock(top, "data_image", pf::kImageBufferSize))
      project_.data_block = std::move(*data);
    project_.user_key = ReadBlock(top, "user_key", pf::kUserKeyMaxSize);
    if (auto program = ReadBlock(top, "board_program", pf::kBoardProgramMaxSize))
      project_.board_program = std::move(*program);
    if (auto a = ReadBlock(top, "board_firmware_a", pf::kBoardFirmwareAMaxSize))
      project_.board_firmware_a = std::move(*a);
    if (auto b = ReadBlock(top, "board_firmware_b", pf::kBoardFirmwareBMaxSize)) {
      // The board update needs block B in the scrambled form, on its own.
      ScrambleProjectBytes(b->data(), b->size());
      project_.board_firmware_b = std::move(*b);
    }
  }

  static SerialValue ReadSerialValue(FieldReader& r, std::string_view key) {
    const Json* value = r.Take(key);
    if (!value) return {};
    if (value->is_number_unsigned())
      return SerialValue::FromUnsigned64(value->get<std::uint64_t>());
    const auto parsed =
        value->is_string() ? SerialFromDecimal(value->get<std::string>()) : std::nullopt;
    if (!parsed)
      throw FieldError(r.PathOf(key), "a decimal number from 0 to 2^128 - 1 is expected");
    return *parsed;
  }

  void ReadSerialNumbers(FieldReader& top) {
    const Json* list = top.Take("serial_numbers");
    if (!list) return;
    if (!list->is_array() || list->size() > pf::kSerialCount)
      throw FieldError("serial_numbers", "a list of at most two serial numbers is expected");
    for (std::size_t n = 0; n < list->size(); ++n) {
      FieldReader r((*list)[n], "serial_numbers[" + std::to_string(n) + "]");
      SerialNumberSettings& s = project_.serial_numbers[n];
      s.enabled = r.Flag("enabled", false);
      s.length = static_cast<std::int32_t>(r.Integer(
          "length", s.enabled ? 1 : 0, static_cast<std::int64_t>(pf::kSerialLengthMax), 0));
      s.address = static_cast<std::int32_t>(
          r.Integer("address", 0, static_cast<std::int64_t>(pf::kCodeImageUsedSize), 0));
      s.start = ReadSerialValue(r, "start");
      s.step = ReadSerialValue(r, "step");
      if (const Json* format = r.Take("format")) {
        const auto found = format->is_string()
                               ? std::find(kSerialFormatNames.begin(), kSerialFormatNames.end(),
                                           format->get<std::string>())
                               : kSerialFormatNames.end();
        if (found == kSerialFormatNames.end())
          throw FieldError(r.PathOf("format"), "number, bcd or ascii");
        s.format = static_cast<std::uint8_t>(found - kSerialFormatNames.begin());
      }
      r.RefuseUnknownKeys();
    }
    CheckSerialNumbers(project_, *chip_);
  }

  std::string GbkText(FieldReader& r, std::string_view key, const std::string& fallback) {
    const std::string utf8 = r.Text(key, fallback);
    if (utf8.find('\0') != std::string::npos)
      throw FieldError(r.PathOf(key), "holds a NUL character");
    auto gbk = Utf8ToGbk(utf8);
    if (!gbk) throw FieldError(r.PathOf(key), "holds a character that GBK cannot represent");
    return std::move(*gbk);
  }

  void ReadTexts(FieldReader& top) {
    auto texts = top.Object("texts");
    if (!texts) throw FieldError("texts", "the texts are required (application_name at least)");
    const std::string language = texts->Text("language", "EN");
    if (language != "CH" && language != "EN")
      throw FieldError(texts->PathOf("language"), "CH (Chinese) or EN (English)");
    StringAt(project_, ProjectStringId::kLanguage) = language;
    for (const TextUse& use : kTexts) StringAt(project_, use.id) = GbkText(*texts, use.key, "");

    std::string& chip_name = StringAt(project_, ProjectStringId::kChipName);
    chip_name = GbkText(*texts, "chip_name", chip_->name);
    if (chip_name.size() > kChipNameMaxBytes)
      throw FieldError(texts->PathOf("chip_name"), "at most 31 bytes");

    const std::string application = texts->Text("application_name", "");
    if (const std::string problem = FileNameProblem(application); !problem.empty())
      throw FieldError(texts->PathOf("application_name"), problem);
    StringAt(project_, ProjectStringId::kApplicationName) = GbkText(*texts, "application_name", "");
    texts->RefuseUnknownKeys();
  }

  void ReadStartSettings(FieldReader& top) {
    auto baud_index = [&](std::string_view key, std::int64_t fallback) {
      const std::int64_t baud = top.Integer(key, 0, kInt32Max, fallback);
      const auto index = BaudIndexOf(baud);
      if (!index)
        throw FieldError(top.PathOf(key),
                         "one of 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, "
                         "115200");
      return *index;
    };
    const int lowest = baud_index("lowest_baud", kDefaultLowestBaud);
    const int highest = baud_index("highest_baud", kDefaultHighestBaud);
    if (lowest > highest) throw FieldError("lowest_baud", "must not be above highest_baud");
    const auto repeat_delay = top.Integer("repeat_delay", 0, kRepeatDelayMax, 0);
    const std::string colour_text = top.Text("label_colour", "#000000");
    const auto colour = ColourFromText(colour_text);
    if (!colour) throw FieldError("label_colour", "\"#RRGGBB\" is expected");
    StringAt(project_, ProjectStringId::kBaudAndRepeat) =
        std::to_string(lowest) + "," + std::to_string(highest) + "," +
        std::to_string(repeat_delay) + "," + std::to_string(*colour);

    StringAt(project_, ProjectStringId::kQuietInformation) =
        top.Flag("quiet_information", false) ? "1" : "0";
    bool auto_start = false;
    std::int64_t port_index = 0;
    if (auto a = top.Object("auto_start")) {
      auto_start = a->Flag("enabled", false);
      port_index = a->Integer("port_index", 0, kPortIndexMax, 0);
      a->RefuseUnknownKeys();
    }
    StringAt(project_, ProjectStringId::kAutoStart) = auto_start ? "1" : "0";
    StringAt(project_, ProjectStringId::kFixedPortIndex) = std::to_string(port_index);
  }

  // {"file": "name"} (relative to the description) or {"prompt": true}.
  std::string ReadSecret(const Json& value, const std::string& field, const std::string& prompt) {
    FieldReader r(value, field);
    const std::string file = r.Text("file", "");
    const bool prompt_wanted = r.Flag("prompt", false);
    r.RefuseUnknownKeys();
    if (!file.empty() && prompt_wanted)
      throw FieldError(field, "either a file or a prompt, not both");
    if (!file.empty()) {
      const auto secret = ReadSecretFile(base_dir_ / file);
      if (!secret) throw FieldError(r.PathOf("file"), "cannot read " + file);
      return *secret;
    }
    if (!prompt_wanted)
      throw FieldError(field, "{\"file\": \"...\"} or {\"prompt\": true} is expected");
    const auto typed = secrets_.Ask(prompt);
    if (!typed) throw FieldError(field, "no password was given (the input ended)");
    return *typed;
  }

  void ReadLogin(FieldReader& top) {
    bool required = false;
    std::string digest;
    if (auto login = top.Object("login")) {
      required = login->Flag("required", false);
      if (const Json* password = login->Take("password")) {
        const std::string field = login->PathOf("password");
        const std::string typed = ReadSecret(*password, field, "Login password: ");
        const auto gbk = Utf8ToGbk(typed);
        if (!gbk) throw FieldError(field, "holds a character that GBK cannot represent");
        if (gbk->empty()) warnings_.push_back(field + ": the login password is empty");
        digest = LoginDigest(*gbk);
      } else if (required) {
        throw FieldError(login->PathOf("password"), "is required when login.required is true");
      }
      login->RefuseUnknownKeys();
    }
    StringAt(project_, ProjectStringId::kLoginRequired) = required ? "1" : "0";
    StringAt(project_, ProjectStringId::kLoginDigest) = digest;
  }

  std::optional<std::string> DownloadPassword(FieldReader& r, std::string_view key,
                                              const std::string& prompt) {
    const Json* value = r.Take(key);
    if (!value) return std::nullopt;
    const std::string field = r.PathOf(key);
    std::string password = ReadSecret(*value, field, prompt);
    if (password.size() > pf::kPasswordMaxLength) throw FieldError(field, "at most 63 characters");
    if (!std::all_of(password.begin(), password.end(),
                     [](char c) { return c >= 0x20 && c < 0x7F; }))
      throw FieldError(field, "printable ASCII characters only");
    return password;
  }

  void ReadDownloadPasswords(FieldReader& top) {
    auto passwords = top.Object("download_passwords");
    if (!passwords) return;
    project_.current_download_password =
        DownloadPassword(*passwords, "current", "Current download password: ");
    project_.new_download_password = DownloadPassword(*passwords, "new", "New download password: ");
    passwords->RefuseUnknownKeys();
  }

  std::filesystem::path base_dir_;
  SecretInput& secrets_;
  Project project_;
  const ChipRecord* chip_ = nullptr;
  std::vector<std::string> warnings_;
};

}  // namespace

ProjectDescription ProjectFromJson(const Json& json, const std::filesystem::path& base_dir,
                                   SecretInput& secrets) {
  return DescriptionReader(base_dir, secrets).Read(json);
}

ProjectDescription ReadProjectDescription(const std::filesystem::path& json_file,
                                          SecretInput& secrets) {
  std::ifstream in(json_file);
  if (!in) throw FieldError(json_file.string(), "cannot be read");
  Json json;
  try {
    json = ParseJsonWithUniqueKeys(in);
  } catch (const Json::parse_error& e) {
    throw FieldError(json_file.string(), std::string("is no valid JSON: ") + e.what());
  }
  return ProjectFromJson(json, json_file.parent_path(), secrets);
}

}  // namespace fw
