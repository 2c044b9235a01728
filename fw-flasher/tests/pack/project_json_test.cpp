// fw-pack's project description: every setting from JSON through the written
// container into the flasher's parser, the way back with --show, and every
// refusal naming its field.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "app/project/project_embedding.h"
#include "app/project/project_parser.h"
#include "pack/chip_choice.h"
#include "pack/project_from_json.h"
#include "pack/project_to_json.h"
#include "pack/project_writer.h"
#include "pack_test_support.h"
#include "target/board/project_scramble.h"
#include "target/chips/chip_table.h"

namespace fw {
namespace {

using test::kFullDescription;
using test::kMinimalDescription;
using test::ScriptedSecrets;
using Bytes = std::vector<std::uint8_t>;

class ProjectJsonTest : public test::PackFolderTest {
 protected:
  void SetUp() override {
    test::PackFolderTest::SetUp();
    Write("firmware.hex", test::kFullFirmwareHex);
    Write("login.txt", "继电器\n");
    Write("new.txt", "new one\r\n");
  }

  ProjectDescription Describe(const Json& json, std::deque<std::string> answers = {"cur-secret"}) {
    ScriptedSecrets secrets(std::move(answers));
    return ProjectFromJson(json, dir_, secrets);
  }

  Project PackAndParse(const Json& json) {
    const Bytes container = WriteProjectContainer(Describe(json).project);
    ProjectParseResult parsed = ParseProjectContainer(container);
    EXPECT_TRUE(parsed.project.has_value()) << parsed.refusal;
    return parsed.project.value_or(Project{});
  }

  // The field a description is refused for, or "" when it is accepted.
  std::string RefusedField(const Json& json, std::deque<std::string> answers = {"cur-secret"}) {
    try {
      Describe(json, std::move(answers));
    } catch (const FieldError& e) {
      return e.field();
    }
    return "";
  }
};

TEST_F(ProjectJsonTest, EverySettingReachesTheFlashersParser) {
  const Project p = PackAndParse(Json::parse(kFullDescription));

  EXPECT_EQ(p.format_version, 0x620u);
  EXPECT_EQ(p.chip_index, FindChipByName("QMV11A64000"));
  EXPECT_EQ(p.option_words, (std::array<std::uint32_t, 4>{0x11223344, 1432778632, ~0u, 0}));
  EXPECT_EQ(p.set_frequency, 11059200);
  EXPECT_EQ(p.frequency_override, 22118400);
  EXPECT_EQ(p.baud_pause_override, 150);
  EXPECT_EQ(p.sync_burst, 3);
  EXPECT_EQ(p.option_extra_value, -2);
  EXPECT_TRUE(p.program_variant);
  EXPECT_TRUE(p.silent);
  EXPECT_TRUE(p.option_bytes.set_option_bytes_16_to_18);
  EXPECT_EQ(p.option_bytes.option_byte_17, 161);
  EXPECT_EQ(p.option_bytes.option_byte_18, 0xB2);
  EXPECT_TRUE(p.option_bytes.keep_option_16_bit_1);
  EXPECT_FALSE(p.option_bytes.keep_option_16_bit_2);
  EXPECT_TRUE(p.option_bytes.paced_sync);
  EXPECT_EQ(p.board_p1, 51);
  EXPECT_EQ(p.board_p2, 7);
  EXPECT_EQ(p.board_p3, 50);
  EXPECT_TRUE(p.board_p4);
  EXPECT_TRUE(p.option_flag_2);
  EXPECT_FALSE(p.option_flag_3);
  EXPECT_TRUE(p.option_flag_4);
  EXPECT_TRUE(p.option_flag_5);
  EXPECT_EQ(p.pass_through_1, 68);
  EXPECT_EQ(p.pass_through_2, 85);
  EXPECT_EQ(p.pass_through_3, 305419896);
  EXPECT_EQ(p.pass_through_4, 119);
  EXPECT_EQ(p.pass_through_5_base, 102);

  EXPECT_TRUE(p.pre_command.line.enabled);
  EXPECT_EQ(p.pre_command.line.baud, 9600);
  EXPECT_EQ(p.pre_command.line.parity, 2);
  EXPECT_EQ(p.pre_command.line.stop_bits, 2);
  EXPECT_EQ(p.pre_command.bytes, (Bytes{0x24, 0xFF}));
  const UserInterfaceCommand& u = p.user_interface_command;
  EXPECT_TRUE(u.line.enabled);
  EXPECT_EQ(u.line.baud, 4800);
  EXPECT_EQ(u.line.parity, 1);
  EXPECT_EQ(u.line.stop_bits, 0);
  EXPECT_EQ(u.reply_length, 16);
  EXPECT_EQ(u.reply_address, 0x300);
  EXPECT_EQ(u.first_bytes, (Bytes{1, 2, 3}));
  EXPECT_EQ(u.second_bytes, (Bytes{4, 5}));

  const SerialNumberSettings& s1 = p.serial_numbers[0];
  EXPECT_TRUE(s1.enabled);
  EXPECT_EQ(s1.length, 4);
  EXPECT_EQ(s1.start, SerialValue::FromUnsigned64(1234));
  EXPECT_EQ(s1.address, 0x100);
  EXPECT_EQ(s1.step, SerialValue::FromUnsigned64(1));
  EXPECT_EQ(s1.format, 1);
  const SerialNumberSettings& s2 = p.serial_numbers[1];
  EXPECT_EQ(s2.length, 16);
  EXPECT_EQ(s2.start.words, (std::array<std::uint32_t, 4>{~0u, ~0u, ~0u, ~0u}));
  EXPECT_EQ(s2.address, 512);
  EXPECT_EQ(s2.step.words, (std::array<std::uint32_t, 4>{0, 0, 1, 0}));
  EXPECT_EQ(s2.format, 0);

  EXPECT_EQ(p.data_offset, 65536);
  EXPECT_EQ(p.code_block, (Bytes{0x02, 0x00, 0x30, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB}));
  EXPECT_EQ(p.data_block, Bytes(8, 0xDD));
  EXPECT_EQ(p.user_key, Bytes(8, 0x5A));
  EXPECT_EQ(p.board_program, (Bytes{1, 2, 3}));
  EXPECT_EQ(p.board_firmware_a, (Bytes{6}));
  Bytes block_b = {4, 5};
  ScrambleProjectBytes(block_b.data(), block_b.size());
  EXPECT_EQ(p.board_firmware_b, block_b) << "block B is kept in its own scrambled form";

  const std::vector<std::string> strings = {"CH",      "\xBC\xCC\xB5\xE7\xC6\xF7",
                                            "Start",   "SN 1",
                                            "Log\r\n", "2,8,4,255",
                                            "Repeat",  "",
                                            "",        "Chip",
                                            "SN 2",    "App",
                                            "1",       "Third",
                                            "1",       "15",
                                            "1",       "7e7574612d4f6a4551ff5731c7cb37bb"};
  EXPECT_EQ(p.strings, strings);
  EXPECT_EQ(p.current_download_password, "cur-secret");
  EXPECT_EQ(p.new_download_password, "new one");
  EXPECT_EQ(p.string_settings.lowest_baud_index, 2);
  EXPECT_EQ(p.string_settings.highest_baud_index, 8);
  EXPECT_EQ(p.string_settings.repeat_delay, 4);
  EXPECT_EQ(p.string_settings.label_colour, 0x0000FF);
  EXPECT_TRUE(p.string_settings.quiet_information);
  EXPECT_TRUE(p.string_settings.auto_start);
  EXPECT_EQ(p.string_settings.fixed_port_index, 15u);
  EXPECT_TRUE(p.string_settings.login_required);
}

TEST_F(ProjectJsonTest, DefaultsOfAMinimalDescription) {
  const Project p = PackAndParse(Json::parse(kMinimalDescription));
  EXPECT_EQ(p.String(ProjectStringId::kLanguage), "EN");
  EXPECT_EQ(p.String(ProjectStringId::kChipName), "QMV45A60000") << "the chip's own name";
  EXPECT_EQ(p.String(ProjectStringId::kBaudAndRepeat), "1,9,0,0");
  EXPECT_FALSE(p.string_settings.login_required);
  EXPECT_EQ(p.String(ProjectStringId::kLoginDigest), "");
  EXPECT_FALSE(p.DownloadPasswordPresent());
  EXPECT_FALSE(p.user_key.has_value());
  EXPECT_FALSE(p.serial_numbers[0].enabled);
}

TEST_F(ProjectJsonTest, TheSameDescriptionGivesTheSameBytes) {
  const Json json = Json::parse(kFullDescription);
  EXPECT_EQ(WriteProjectContainer(Describe(json).project),
            WriteProjectContainer(Describe(json).project));
}

TEST_F(ProjectJsonTest, ShownProjectPacksToTheSameBlock) {
  const Bytes first = WriteProjectContainer(Describe(Json::parse(kFullDescription)).project);
  const auto parsed = ParseProjectContainer(first);
  ASSERT_TRUE(parsed.project.has_value()) << parsed.refusal;
  const Json shown = ProjectToJson(*parsed.project);

  // Every password is masked: it is asked for again, in this order.
  const std::string dumped = shown.dump();
  EXPECT_EQ(dumped.find("cur-secret"), std::string::npos);
  EXPECT_EQ(dumped.find("new one"), std::string::npos);
  EXPECT_EQ(dumped.find("7e7574612d"), std::string::npos);
  ScriptedSecrets secrets({"继电器", "cur-secret", "new one"});
  const Bytes again = WriteProjectContainer(ProjectFromJson(shown, dir_, secrets).project);
  EXPECT_EQ(secrets.prompts,
            (std::vector<std::string>{
                "Login password: ", "Current download password: ", "New download password: "}));
  EXPECT_EQ(again, first);
}

TEST_F(ProjectJsonTest, LoginPasswordIsStoredAsTheDigestOfItsGbkBytes) {
  struct Case {
    std::string typed;
    const char* digest;
  } cases[] = {{"demo", "fe01ce2a7fbac8fafaed7c982a04e229"},
               {"继电器", "7e7574612d4f6a4551ff5731c7cb37bb"},
               {"", "d41d8cd98f00b204e9800998ecf8427e"}};
  for (const Case& k : cases) {
    Json json = Json::parse(kMinimalDescription);
    json["login"] = {{"required", true}, {"password", {{"prompt", true}}}};
    const ProjectDescription d = Describe(json, {k.typed});
    EXPECT_EQ(d.project.String(ProjectStringId::kLoginDigest), k.digest) << k.typed;
    EXPECT_EQ(d.project.String(ProjectStringId::kLoginRequired), "1");
    EXPECT_EQ(d.warnings.empty(), !k.typed.empty()) << "an empty password is warned about";
  }
}

TEST_F(ProjectJsonTest, LargeImageIsWarnedAboutForTheUsbWriter) {
  Json json = Json::parse(kFullDescription);
  EXPECT_EQ(Describe(json).warnings.size(), 1u) << "data up to 65,544 passes 65,536";
  json["data_offset"] = 4096;
  EXPECT_TRUE(Describe(json).warnings.empty());
}

using Patch = std::function<void(Json&)>;

struct RefusalCase {
  const char* name;
  Patch patch;
  const char* field;
};

Json Hex(std::size_t bytes, std::uint8_t value = 0x11) {
  return {{"hex", std::string(bytes * 2, "0123456789ABCDEF"[value & 0xF])}};
}

TEST_F(ProjectJsonTest, EachRefusalNamesItsField) {
  Write("empty.bin", "");
  Write("long.txt", std::string(64, 'p'));
  const RefusalCase cases[] = {
      {"no chip", [](Json& j) { j.erase("chip"); }, "chip"},
      {"unknown chip", [](Json& j) { j["chip"] = "QMV99Z00000"; }, "chip"},
      {"placeholder chip", [](Json& j) { j["chip"] = "UNKNOWN"; }, "chip"},
      {"unknown setting", [](Json& j) { j["colour"] = 1; }, "colour"},
      {"unknown nested setting", [](Json& j) { j["board"]["p5"] = 1; }, "board.p5"},
      {"option words not four",
       [](Json& j) {
         j["option_words"] = {1, 2, 3};
       },
       "option_words"},
      {"option word too large", [](Json& j) { j["option_words"][1] = "0x100000000"; },
       "option_words[1]"},
      {"negative frequency", [](Json& j) { j["set_frequency_hz"] = -1; }, "set_frequency_hz"},
      {"text for a number", [](Json& j) { j["sync_burst"] = "many"; }, "sync_burst"},
      {"flag as a number", [](Json& j) { j["silent"] = 1; }, "silent"},
      {"option byte over 255", [](Json& j) { j["option_bytes"]["option_byte_17"] = 256; },
       "option_bytes.option_byte_17"},
      {"board p3 not a multiple of 5", [](Json& j) { j["board"]["p3"] = 52; }, "board.p3"},
      {"board p3 over a byte", [](Json& j) { j["board"]["p3"] = 260; }, "board.p3"},
      {"no code image", [](Json& j) { j.erase("code_image"); }, "code_image"},
      {"empty code image", [](Json& j) { j["code_image"] = "empty.bin"; }, "code_image"},
      {"missing image file", [](Json& j) { j["code_image"] = "none.hex"; }, "code_image"},
      {"code image larger than the chip", [](Json& j) { j["code_image"] = Hex(65537, 0); },
       "code_image"},
      {"data overlapping the code", [](Json& j) { j["data_offset"] = 4; }, "data_offset"},
      {"data beyond the chip", [](Json& j) { j["data_offset"] = 69632 - 4; }, "data_image"},
      {"data offset beyond the buffer", [](Json& j) { j["data_offset"] = 131073; }, "data_offset"},
      {"data beyond the top reserve cut", [](Json& j) { j["data_offset"] = 66560 - 4; },
       "data_image"},
      {"serial length 0", [](Json& j) { j["serial_numbers"][0]["length"] = 0; },
       "serial_numbers[0].length"},
      {"serial length 17", [](Json& j) { j["serial_numbers"][0]["length"] = 17; },
       "serial_numbers[0].length"},
      {"serial outside the image", [](Json& j) { j["serial_numbers"][0]["address"] = 65534; },
       "serial_numbers[0].address"},
      {"serials on top of each other", [](Json& j) { j["serial_numbers"][1]["address"] = 0x102; },
       "serial_numbers[1].address"},
      {"serial format 3", [](Json& j) { j["serial_numbers"][0]["format"] = 3; },
       "serial_numbers[0].format"},
      {"serial format name", [](Json& j) { j["serial_numbers"][0]["format"] = "hex"; },
       "serial_numbers[0].format"},
      {"BCD start over 8 digits", [](Json& j) { j["serial_numbers"][0]["start"] = "100000000"; },
       "serial_numbers[0].start"},
      {"plain start over 2 bytes",
       [](Json& j) {
         j["serial_numbers"][0]["format"] = "number";
         j["serial_numbers"][0]["length"] = 2;
         j["serial_numbers"][0]["start"] = 65536;
       },
       "serial_numbers[0].start"},
      {"ASCII start over 4 digits",
       [](Json& j) {
         j["serial_numbers"][0]["format"] = "ascii";
         j["serial_numbers"][0]["start"] = "10000";
       },
       "serial_numbers[0].start"},
      {"start over 128 bits",
       [](Json& j) { j["serial_numbers"][1]["start"] = "340282366920938463463374607431768211456"; },
       "serial_numbers[1].start"},
      {"negative start", [](Json& j) { j["serial_numbers"][1]["start"] = -1; },
       "serial_numbers[1].start"},
      {"three serial numbers", [](Json& j) { j["serial_numbers"].push_back(Json::object()); },
       "serial_numbers"},
      {"command baud 0", [](Json& j) { j["pre_command"]["baud"] = 0; }, "pre_command.baud"},
      {"parity 5", [](Json& j) { j["pre_command"]["parity"] = 5; }, "pre_command.parity"},
      {"parity name", [](Json& j) { j["user_interface_command"]["parity"] = "EVEN"; },
       "user_interface_command.parity"},
      {"one and a half stop bits", [](Json& j) { j["pre_command"]["stop_bits"] = 1.5; },
       "pre_command.stop_bits"},
      {"three stop bits", [](Json& j) { j["user_interface_command"]["stop_bits"] = 3; },
       "user_interface_command.stop_bits"},
      {"pre-command of 256 bytes",
       [](Json& j) { j["pre_command"]["bytes"] = std::string(512, 'A'); }, "pre_command.bytes"},
      {"command bytes not hexadecimal", [](Json& j) { j["pre_command"]["bytes"] = "2G"; },
       "pre_command.bytes"},
      {"reply of 2049", [](Json& j) { j["user_interface_command"]["reply_length"] = 2049; },
       "user_interface_command.reply_length"},
      {"reply past 65536",
       [](Json& j) { j["user_interface_command"]["reply_address"] = 65536 - 15; },
       "user_interface_command.reply_length"},
      {"first bytes over 32",
       [](Json& j) { j["user_interface_command"]["first_bytes"] = std::string(66, '1'); },
       "user_interface_command.first_bytes"},
      {"second bytes over 31",
       [](Json& j) { j["user_interface_command"]["second_bytes"] = std::string(64, '1'); },
       "user_interface_command.second_bytes"},
      {"download password of 64",
       [](Json& j) {
         j["download_passwords"]["new"] = {{"file", "long.txt"}};
       },
       "download_passwords.new"},
      {"password file missing",
       [](Json& j) {
         j["download_passwords"]["new"] = {{"file", "gone.txt"}};
       },
       "download_passwords.new.file"},
      {"password neither file nor prompt",
       [](Json& j) { j["download_passwords"]["new"] = Json::object(); }, "download_passwords.new"},
      {"password from file and prompt",
       [](Json& j) {
         j["download_passwords"]["new"] = {{"file", "new.txt"}, {"prompt", true}};
       },
       "download_passwords.new"},
      {"password given inline",
       [](Json& j) {
         j["download_passwords"]["new"] = {{"text", "secret"}};
       },
       "download_passwords.new.text"},
      {"user key of 257", [](Json& j) { j["user_key"] = Hex(257); }, "user_key"},
      {"empty user key",
       [](Json& j) {
         j["user_key"] = {{"hex", ""}};
       },
       "user_key"},
      {"board program of 65537", [](Json& j) { j["board_program"] = Hex(65537); }, "board_program"},
      {"block A of 2049", [](Json& j) { j["board_firmware_a"] = Hex(2049); }, "board_firmware_a"},
      {"block B of 16385", [](Json& j) { j["board_firmware_b"] = Hex(16385); }, "board_firmware_b"},
      {"baud not in the table", [](Json& j) { j["lowest_baud"] = 3000; }, "lowest_baud"},
      {"lowest above highest", [](Json& j) { j["lowest_baud"] = 115200; }, "lowest_baud"},
      {"negative repeat delay", [](Json& j) { j["repeat_delay"] = -1; }, "repeat_delay"},
      {"colour without #", [](Json& j) { j["label_colour"] = "FF0000"; }, "label_colour"},
      {"port index beyond the list", [](Json& j) { j["auto_start"]["port_index"] = 510; },
       "auto_start.port_index"},
      {"no texts", [](Json& j) { j.erase("texts"); }, "texts"},
      {"empty application name", [](Json& j) { j["texts"]["application_name"] = ""; },
       "texts.application_name"},
      {"application name with a slash", [](Json& j) { j["texts"]["application_name"] = "a/b"; },
       "texts.application_name"},
      {"application name ..", [](Json& j) { j["texts"]["application_name"] = ".."; },
       "texts.application_name"},
      {"lower-case language", [](Json& j) { j["texts"]["language"] = "ch"; }, "texts.language"},
      {"text GBK cannot hold", [](Json& j) { j["texts"]["title"] = "\xF0\x9F\x98\x80"; },
       "texts.title"},
      {"text with a NUL", [](Json& j) { j["texts"]["initial_log"] = std::string("a\0b", 3); },
       "texts.initial_log"},
      {"chip name over 31 bytes", [](Json& j) { j["texts"]["chip_name"] = std::string(32, 'C'); },
       "texts.chip_name"},
      {"login without a password", [](Json& j) { j["login"].erase("password"); }, "login.password"},
      {"not an object", [](Json& j) { j = Json::array(); }, "project"},
  };
  ASSERT_EQ(RefusedField(Json::parse(kFullDescription)), "") << "the base case is accepted";
  for (const RefusalCase& k : cases) {
    Json json = Json::parse(kFullDescription);
    k.patch(json);
    EXPECT_EQ(RefusedField(json), k.field) << k.name;
  }
}

TEST_F(ProjectJsonTest, CodeBeyondTheTailReserveIsRefused) {
  // QMV45A60000: 61,440 bytes of code flash, the last 7 left alone.
  Json json = Json::parse(kMinimalDescription);
  std::string hex(61434 * 2, 'F');
  hex.replace(61432 * 2, 2, "00");
  json["code_image"] = {{"hex", hex}};
  EXPECT_EQ(RefusedField(json), "");
  hex.replace(61433 * 2, 2, "00");
  json["code_image"] = {{"hex", hex}};
  EXPECT_EQ(RefusedField(json), "code_image");
}

// Numbers written as text are decimal unless they begin with 0x: a leading 0
// is no octal, so "0100" is a hundred and "09" nine.
TEST(JsonFieldsTest, WholeNumbersAsTextAreDecimalUnlessTheyBeginWith0x) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> value;  // empty: refused
  } const cases[] = {
      {"0100", 100},
      {"09", 9},
      {"0", 0},
      {"-0012", -12},
      {"+7", 7},
      {"0x1F", 31},
      {"0X1f", 31},
      {"-0x10", -16},
      {"0x0100", 256},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"0x8000000000000000", std::nullopt},
      {"", std::nullopt},
      {"0x", std::nullopt},
      {"0x-5", std::nullopt},
      {"--5", std::nullopt},
      {" 5", std::nullopt},
      {"5 ", std::nullopt},
      {"1e3", std::nullopt},
      {"0b101", std::nullopt},
      {"12abc", std::nullopt},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    if (k.value) {
      EXPECT_EQ(IntegerValue(Json(k.text), "n", INT64_MIN, INT64_MAX), *k.value);
    } else {
      EXPECT_THROW(IntegerValue(Json(k.text), "n", INT64_MIN, INT64_MAX), FieldError);
    }
  }
}

TEST_F(ProjectJsonTest, ASerialNumberAddressWithALeadingZeroIsDecimal) {
  Json json = Json::parse(kFullDescription);
  json["serial_numbers"][0]["address"] = "0256";
  EXPECT_EQ(Describe(json).project.serial_numbers[0].address, 256);
}

// A key given twice in one object is refused, naming it: which of the two
// would count is nothing a reader of the description can tell.
TEST_F(ProjectJsonTest, ADuplicateKeyIsRefusedNamingIt) {
  struct Case {
    const char* name;
    std::string text;
    const char* field;  // null: accepted
  } const cases[] = {
      {"top level",
       R"({"chip": "QMV45A60000", "chip": "QMV11A64000", "code_image": {"hex": "02"},
           "texts": {"application_name": "A"}})",
       "chip"},
      {"nested",
       R"({"chip": "QMV45A60000", "code_image": {"hex": "02"},
           "texts": {"application_name": "A", "title": "x", "title": "y"}})",
       "texts.title"},
      {"inside a list",
       R"({"chip": "QMV45A60000", "code_image": {"hex": "02"}, "texts": {"application_name": "A"},
           "serial_numbers": [{"enabled": false}, {"enabled": false, "length": 1, "length": 2}]})",
       "serial_numbers[1].length"},
      {"after a list of numbers",
       R"({"chip": "QMV45A60000", "option_words": [1, 2, 3, 4], "code_image": {"hex": "02"},
           "texts": {"application_name": "A"}, "option_words": [4, 3, 2, 1]})",
       "option_words"},
      {"the same key in two objects",
       R"({"chip": "QMV45A60000", "code_image": {"hex": "02"},
           "texts": {"application_name": "A"}, "pre_command": {"enabled": false},
           "user_interface_command": {"enabled": false}})",
       nullptr},
      {"the same key in sibling objects of a list",
       R"({"chip": "QMV45A60000", "code_image": {"hex": "02"}, "texts": {"application_name": "A"},
           "serial_numbers": [{"enabled": false}, {"enabled": false}]})",
       nullptr},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ScriptedSecrets secrets({});
    const auto file = Write("duplicate.json", k.text);
    try {
      ReadProjectDescription(file, secrets);
      EXPECT_EQ(k.field, nullptr) << "accepted";
    } catch (const FieldError& e) {
      ASSERT_NE(k.field, nullptr) << e.what();
      EXPECT_EQ(e.field(), k.field) << e.what();
      EXPECT_NE(std::string(e.what()).find("twice"), std::string::npos) << e.what();
    }
  }
}

// Code where a download writes bytes of its own would come out as those bytes:
// the chip's parameter block below the tail reserve (the longest form any
// firmware writes: 0xEFE2..0xEFF8 on QMV45A60000, 0xEFEE on from 7.2) when
// option byte 15 asks for it, and the chip serial number's 7 bytes at the end
// of the code flash.
TEST_F(ProjectJsonTest, CodeWhereTheDownloadWritesItsOwnBytesIsRefused) {
  struct Case {
    const char* name;
    const char* chip;
    std::size_t size;       // of the code image, erased but for two bytes
    std::size_t at;         // the user byte
    const char* option_15;  // the top byte of option word 3
    const char* refusal;    // null: accepted
  } const cases[] = {
      {"7.4's parameter block", "QMV45A60000", 0xEFF9, 0xEFE2, "0xFF000000",
       "code_image: holds data at 0x0EFE2, inside 0x0EFE2..0x0EFF8 where a download to "
       "QMV45A60000 writes the chip's parameter block"},
      {"7.2's parameter block", "QMV45A60000", 0xEFF9, 0xEFF8, "0xFF000000", "0x0EFF8, inside"},
      {"below the parameter block", "QMV45A60000", 0xEFF9, 0xEFE1, "0xFF000000", nullptr},
      {"no parameter block asked for", "QMV45A60000", 0xEFF9, 0xEFF0, "0xFD000000", nullptr},
      {"the serial number of a chip without a tail reserve", "QMV70A62000", 0xF800, 0xF7FC,
       "0x00000000",
       "code_image: holds data at 0x0F7FC, inside 0x0F7F9..0x0F7FF where a download to "
       "QMV70A62000 writes the chip's own serial number; those bytes would be overwritten"},
      {"the serial number a USB writer writes on a classic chip", "QMV11A64000", 0x10000, 0xFFFF,
       "0x00000000", "inside 0x0FFF9..0x0FFFF"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Json json = Json::parse(kMinimalDescription);
    json["chip"] = k.chip;
    json["option_words"] = {0, 0, 0, k.option_15};
    std::string hex(k.size * 2, 'F');
    hex.replace(0, 2, "02");
    hex.replace(k.at * 2, 2, "44");
    json["code_image"] = {{"hex", hex}};
    try {
      Describe(json);
      EXPECT_EQ(k.refusal, nullptr) << "accepted";
    } catch (const FieldError& e) {
      ASSERT_NE(k.refusal, nullptr) << e.what();
      EXPECT_EQ(e.field(), "code_image");
      EXPECT_NE(std::string(e.what()).find(k.refusal), std::string::npos) << e.what();
    }
  }
}

TEST_F(ProjectJsonTest, ASerialNumberOverFirmwareBytesIsWarnedAbout) {
  Json json = Json::parse(kMinimalDescription);  // 02 00 30 at 0
  json["serial_numbers"] = {{{"enabled", true}, {"length", 2}, {"address", 2}, {"start", "1"}}};
  const ProjectDescription over = Describe(json);
  ASSERT_EQ(over.warnings.size(), 1u);
  EXPECT_EQ(over.warnings[0],
            "serial_numbers[0]: the area 0x00002..0x00003 holds image bytes other than 0xFF (at "
            "0x00002); each download writes the serial number over them");
  json["serial_numbers"][0]["address"] = 3;
  EXPECT_TRUE(Describe(json).warnings.empty()) << "beyond the image";
}

TEST_F(ProjectJsonTest, PromptThatEndsRefusesThePassword) {
  EXPECT_EQ(RefusedField(Json::parse(kFullDescription), {}), "download_passwords.current");
}

TEST(ChipChoiceTest, AModelShadowedByAnEarlierRecordIsRefused) {
  const ChipRecord table[] = {
      {0, "UNKNOWN", 0, 0, 0, 0, 0, 0, 0, 0},
      {1, "FIRST", 0x1234, 0x5555, 8192, 0, 0, 8192, 0, 0},
      {1, "SHADOWED", 0x5555, 0, 8192, 0, 0, 8192, 0, 0},
      {1, "OTHER SUB-MODEL", 0x1234, 0, 8192, 0, 0, 8192, 0, 3},
  };
  EXPECT_EQ(ChooseChip("FIRST", table).index, 1);
  EXPECT_EQ(ChooseChip("OTHER SUB-MODEL", table).index, 3);
  const ChipChoice shadowed = ChooseChip("SHADOWED", table);
  EXPECT_EQ(shadowed.index, -1);
  EXPECT_NE(shadowed.problem.find("FIRST"), std::string::npos) << shadowed.problem;
  EXPECT_EQ(ChooseChip("UNKNOWN", table).index, -1);
  EXPECT_EQ(ChooseChip("NONE", table).index, -1);
}

}  // namespace
}  // namespace fw
