// The project container's parser over containers built by hand from the record
// format: every record type, the two layouts of record 19, damaged and short
// records, the project strings, and the limits checked when a project loads.
#include <gtest/gtest.h>

#include <string>

#include "app/project/project_parser.h"
#include "target/chips/chip_table.h"
#include "tests/support/container_builder.h"

namespace fw {
namespace {

using test::Bytes;
using test::Container;
using test::Payload;

// Record types as the format numbers them (kept apart from the program's names).
enum : std::uint8_t {
  kVersion = 1,
  kChip = 16,
  kOptionWords = 17,
  kSetFrequency = 18,
  kSerials = 19,
  kOptionFlags = 20,
  kProgramVariant = 21,
  kBoardP1 = 22,
  kPreCommand = 23,
  kUiCommand = 24,
  kSilent = 25,
  kCurrentPassword = 26,
  kNewPassword = 27,
  kBoard = 28,
  kFrequencyOverride = 29,
  kBaudPause = 30,
  kSyncBurst = 31,
  kNotUsed = 32,
  kOptionExtra = 33,
  kDataOffset = 34,
  kBoardProgram = 249,
  kRecord250 = 250,
  kRecord251 = 251,
  kStrings = 252,
  kUserKey = 253,
  kData = 254,
  kCode = 255,
};

// The container with a code block of its own in front of its records, as every
// project that loads carries one; a later code block replaces it.
Bytes WithFirmware(const Container& c) {
  Bytes bytes = Container().Record(kCode, Bytes{0x02, 0x00, 0x03}).bytes();
  bytes.insert(bytes.end(), c.bytes().begin() + 4, c.bytes().end());
  return bytes;
}

Project ParseOk(const Container& c) {
  ProjectParseResult r = ParseProjectContainer(WithFirmware(c));
  EXPECT_TRUE(r.project.has_value()) << r.refusal;
  return r.project.value_or(Project{});
}

Bytes Filled(std::size_t n, std::uint8_t v = 0xA5) { return Bytes(n, v); }

Payload Strings(std::initializer_list<std::string_view> texts, bool last_nul = true) {
  Payload p;
  std::size_t i = 0;
  for (std::string_view t : texts) p.Text(t, last_nul || ++i < texts.size());
  return p;
}

int ChipIndex(const char* name) { return FindChipByName(name); }

TEST(ProjectParserTest, EveryRecordTypeIsStored) {
  Container c;
  c.Record(kVersion, Payload().Text("ISP.6.20"))
      .Record(kChip, Payload().U16(0x5A00).U8(0))
      .Record(kOptionWords, Payload().I32(0x11223344).I32(0x55667788).I32(-1).I32(0))
      .Record(kSetFrequency, Payload().I32(11059200))
      .Record(kSerials, Payload()
                            .U8(1)
                            .I32(4)
                            .U128(1234)
                            .I32(0x100)
                            .U128(1)
                            .U8(1)
                            .I32(2)
                            .U128(~0ull, 1)
                            .I32(0x200)
                            .U128(5)
                            .U8(1)
                            .U8(2))
      .Record(kOptionFlags, Payload().Raw({0xA1, 1, 0xB2, 0, 1, 1}))
      .Record(kProgramVariant, Payload().U8(1))
      .Record(kBoardP1, Payload().U8(0x33))
      .Record(kPreCommand, Payload().U8(1).I32(9600).U8(2).U8(2).Counted({0x24, 0xFF}))
      .Record(kUiCommand,
              Payload().U8(1).I32(4800).U8(1).U8(0).U16(16).I32(0x300).Counted({1, 2, 3}).Counted(
                  {4, 5}))
      .Record(kSilent, Payload().U8(1))
      .Record(kCurrentPassword, Payload().Text("current"))
      .Record(kNewPassword, Payload().Text("new one"))
      .Record(kBoard,
              Payload().Raw({7, 10, 1, 1, 0x44, 0x55, 0x78, 0x56, 0x34, 0x12, 0x66, 0, 0x77, 1, 0}))
      .Record(kFrequencyOverride, Payload().I32(22118400))
      .Record(kBaudPause, Payload().I32(150))
      .Record(kSyncBurst, Payload().I32(3))
      .Record(kNotUsed, Filled(40))
      .Record(kOptionExtra, Payload().I32(-2))
      .Record(kDataOffset, Payload().I32(0x1000))
      .Record(99, Filled(3))  // an unknown type is skipped
      .Record(kBoardProgram, Bytes{1, 2, 3})
      .Record(kRecord250, Bytes{4, 5})
      .Record(kRecord251, Bytes{6})
      .Record(kStrings, Strings({"CH", "Title", "Start", "SN 1", "Log", "2,8,4,255", "Repeat", "",
                                 "", "Chip", "SN 2", "App", "0x10", "Third", "1", "017", "1",
                                 "0123456789abcdef0123456789abcdef"}))
      .Record(kUserKey, Filled(8, 0x5A))
      .Record(kData, Filled(16, 0xDD))
      .Record(kCode, Filled(32, 0xC0))
      .Record(0, Bytes{})
      .Record(kSyncBurst, Payload().I32(99));  // after the end record: not read

  const Project p = ParseOk(c);
  EXPECT_EQ(p.format_version, 0x620u);
  EXPECT_EQ(p.chip_id, 0x5A00);
  EXPECT_EQ(p.chip_index, ChipIndex("QMV45A60000"));
  EXPECT_EQ(p.option_words, (std::array<std::uint32_t, 4>{0x11223344, 0x55667788, 0xFFFFFFFF, 0}));
  EXPECT_EQ(p.set_frequency, 11059200);

  const SerialNumberSettings& s1 = p.serial_numbers[0];
  EXPECT_TRUE(s1.enabled);
  EXPECT_EQ(s1.length, 4);
  EXPECT_EQ(s1.start, SerialValue::FromUnsigned64(1234));
  EXPECT_EQ(s1.address, 0x100);
  EXPECT_EQ(s1.step, SerialValue::FromUnsigned64(1));
  EXPECT_EQ(s1.format, 1);
  const SerialNumberSettings& s2 = p.serial_numbers[1];
  EXPECT_EQ(s2.start.words, (std::array<std::uint32_t, 4>{0xFFFFFFFF, 0xFFFFFFFF, 1, 0}));
  EXPECT_EQ(s2.address, 0x200);
  EXPECT_EQ(s2.format, 2);

  EXPECT_EQ(p.option_bytes.option_byte_17, 0xA1);
  EXPECT_TRUE(p.option_bytes.keep_option_16_bit_1);
  EXPECT_EQ(p.option_bytes.option_byte_18, 0xB2);
  EXPECT_FALSE(p.option_bytes.keep_option_16_bit_2);
  EXPECT_TRUE(p.option_bytes.set_option_bytes_16_to_18);
  EXPECT_TRUE(p.option_bytes.paced_sync);
  EXPECT_TRUE(p.program_variant);
  EXPECT_EQ(p.board_p1, 0x33);

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

  EXPECT_TRUE(p.silent);
  EXPECT_EQ(p.current_download_password, "current");
  EXPECT_EQ(p.new_download_password, "new one");
  EXPECT_TRUE(p.DownloadPasswordPresent());

  EXPECT_EQ(p.board_p2, 7);
  EXPECT_EQ(p.board_p3, 50);
  EXPECT_TRUE(p.board_p4);
  EXPECT_TRUE(p.option_flag_2);
  EXPECT_FALSE(p.option_flag_3);
  EXPECT_TRUE(p.option_flag_4);
  EXPECT_FALSE(p.option_flag_5);
  EXPECT_EQ(p.pass_through_1, 0x44);
  EXPECT_EQ(p.pass_through_2, 0x55);
  EXPECT_EQ(p.pass_through_3, 0x12345678);
  EXPECT_EQ(p.pass_through_4, 0x77);
  EXPECT_EQ(p.pass_through_5_base, 0x66);

  EXPECT_EQ(p.frequency_override, 22118400);
  EXPECT_EQ(p.baud_pause_override, 150);
  EXPECT_EQ(p.sync_burst, 3);
  EXPECT_EQ(p.option_extra_value, -2);
  EXPECT_EQ(p.data_offset, 0x1000);

  EXPECT_EQ(p.board_program, (Bytes{1, 2, 3}));
  EXPECT_EQ(p.board_firmware_b, (Bytes{4, 5})) << "record 250 is block B";
  EXPECT_EQ(p.board_firmware_a, (Bytes{6})) << "record 251 is block A";
  EXPECT_EQ(p.user_key, Filled(8, 0x5A));
  EXPECT_EQ(p.data_block, Filled(16, 0xDD));
  EXPECT_EQ(p.code_block, Filled(32, 0xC0));

  ASSERT_EQ(p.strings.size(), 18u);
  EXPECT_EQ(p.String(ProjectStringId::kTitle), "Title");
  EXPECT_EQ(p.String(ProjectStringId::kLoginDigest), "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(ProjectString(p, 18), "");
  const StringSettings& ss = p.string_settings;
  EXPECT_EQ(ss.lowest_baud_index, 2);
  EXPECT_EQ(ss.highest_baud_index, 8);
  EXPECT_EQ(ss.repeat_delay, 4);
  EXPECT_EQ(ss.label_colour, 255);
  EXPECT_TRUE(ss.quiet_information);
  EXPECT_TRUE(ss.auto_start);
  EXPECT_EQ(ss.fixed_port_index, 15u) << "a leading 0 reads as octal";
  EXPECT_TRUE(ss.login_required);
}

TEST(ProjectParserTest, AbsentRecordsLeaveEverythingZeroAndEmpty) {
  const Project p = ParseOk(Container());
  EXPECT_EQ(p.format_version, 0u);
  EXPECT_EQ(p.chip_index, 0);
  EXPECT_FALSE(p.user_key.has_value());
  EXPECT_FALSE(p.DownloadPasswordPresent());
  EXPECT_TRUE(p.strings.empty());
  EXPECT_EQ(p.string_settings.lowest_baud_index, 1);
  EXPECT_EQ(p.string_settings.highest_baud_index, 9);
  EXPECT_EQ(p.string_settings.label_colour, 0);
}

// Record 19 below version 6.20: 64-bit signed values extended with their sign;
// the two format bytes only from 6.19 on.
struct NarrowSerialCase {
  const char* version;  // null: no version record
  bool with_formats;    // 52 bytes instead of 50
  bool read;            // false: the record is damaged
  std::uint8_t format1, format2;
};

class NarrowSerialTest : public ::testing::TestWithParam<NarrowSerialCase> {};

TEST_P(NarrowSerialTest, LayoutFollowsTheVersion) {
  const NarrowSerialCase& k = GetParam();
  Payload serials;
  serials.U8(1).I32(3).I64(-1).I32(0x40).I64(2).U8(1).I32(2).I64(77).I32(0x50).I64(-3);
  if (k.with_formats) serials.U8(1).U8(2);
  Container c;
  if (k.version) c.Record(kVersion, Payload().Text(k.version));
  c.Record(kSerials, serials).Record(kSilent, Payload().U8(1));

  if (!k.read) {
    EXPECT_FALSE(ParseProjectContainer(WithFirmware(c)).project.has_value())
        << "a record too short for its layout is damaged data";
    return;
  }
  const Project p = ParseOk(c);
  EXPECT_TRUE(p.silent);
  const SerialNumberSettings& s1 = p.serial_numbers[0];
  const SerialNumberSettings& s2 = p.serial_numbers[1];
  EXPECT_TRUE(s1.enabled);
  EXPECT_EQ(s1.length, 3);
  EXPECT_EQ(s1.start.words, (std::array<std::uint32_t, 4>{~0u, ~0u, ~0u, ~0u}));
  EXPECT_EQ(s1.address, 0x40);
  EXPECT_EQ(s1.step, SerialValue::FromUnsigned64(2));
  EXPECT_EQ(s2.start, SerialValue::FromUnsigned64(77));
  EXPECT_EQ(s2.address, 0x50);
  EXPECT_EQ(s2.step.words, (std::array<std::uint32_t, 4>{~2u, ~0u, ~0u, ~0u}));
  EXPECT_EQ(s1.format, k.format1);
  EXPECT_EQ(s2.format, k.format2);
}

INSTANTIATE_TEST_SUITE_P(Versions, NarrowSerialTest,
                         ::testing::Values(NarrowSerialCase{"ISP.6.19", true, true, 1, 2},
                                           NarrowSerialCase{"ISP.6.18", true, true, 0, 0},
                                           NarrowSerialCase{"ISP.6.18", false, true, 0, 0},
                                           NarrowSerialCase{nullptr, false, true, 0, 0},
                                           NarrowSerialCase{"ISP.6.19", false, false, 0, 0},
                                           NarrowSerialCase{"ISP.6.20", true, false, 0, 0}));

TEST(ProjectParserTest, VersionTextIsReadAsHexadecimalParts) {
  struct Case {
    const char* text;
    std::uint32_t version;
  } cases[] = {{"ISP.6.20", 0x620}, {"ISP.6.19", 0x619}, {"ISP.A.1F", 0xA1F},
               {"ISP.7", 0x700},    {"ISP.", 0},         {"ISP.6.2x", 0x602}};
  for (const Case& k : cases) {
    const Project p = ParseOk(Container().Record(kVersion, Payload().Text(k.text, false)));
    EXPECT_EQ(p.format_version, k.version) << k.text;
  }
}

// After one good record, something that stops the parser; the record behind it
// must not be read, the one before it stays in effect.
struct StopCase {
  const char* name;
  Bytes tail;
};

Bytes Tail(std::uint8_t tag, std::uint8_t type, const Bytes& payload,
           std::optional<std::uint32_t> declared, bool sum_ok) {
  Container c{Bytes{}};
  c.Custom(tag, type, payload, declared, sum_ok);
  return c.bytes();
}

TEST(ProjectParserTest, ForeignTagsEndRecordAndForeignVersionsStopParsingQuietly) {
  const StopCase cases[] = {
      {"wrong tag", Tail(0x71, kSilent, {1}, std::nullopt, true)},
      {"end record", Tail(0x70, 0, {}, std::nullopt, true)},
      {"version without ISP.",
       Tail(0x70, kVersion, Payload().Text("IXP.6.20"), std::nullopt, true)},
      {"version shorter than ISP.", Tail(0x70, kVersion, {'I', 'S'}, std::nullopt, true)},
  };
  for (const StopCase& k : cases) {
    Container c;
    c.Record(kProgramVariant, Payload().U8(1)).Append(k.tail).Record(kBoardP1, Payload().U8(9));
    const Project p = ParseOk(c);
    EXPECT_TRUE(p.program_variant) << k.name;
    EXPECT_EQ(p.board_p1, 0) << k.name;
  }
}

// A project that would download a chip with less than its firmware is refused,
// and the refusal says where the records ended. Behind the firmware, the ends
// that leave no record half read stay quiet.
struct FirmwareCase {
  const char* name;
  Bytes container;
  const char* refusal;  // null: the project loads
};

Bytes CutShort(const Container& c, std::size_t bytes) {
  Bytes b = c.bytes();
  b.resize(b.size() - bytes);
  return b;
}

TEST(ProjectParserTest, AProjectThatLostItsFirmwareIsRefused) {
  const Bytes code = Filled(100, 0x12);
  const FirmwareCase cases[] = {
      {"no code block", Container().Record(kSilent, Payload().U8(1)).bytes(),
       "no firmware: no code block with bytes in it up to where the records end (the data "
       "ends at offset 0xD)"},
      {"an empty code block", Container().Record(kCode, Bytes{}).bytes(), "no firmware"},
      {"an empty code block last", Container().Record(kCode, code).Record(kCode, Bytes{}).bytes(),
       "no firmware"},
      {"code block behind a foreign tag",
       Container().Append({0x71, kSilent, 0, 0x1E, 1, 0, 0, 0, 1}).Record(kCode, code).bytes(),
       "(a byte other than a record's tag at offset 0x4)"},
      {"code block behind the end record",
       Container().Record(0, Bytes{}).Record(kCode, code).bytes(),
       "(the end record at offset 0x4)"},
      {"code block behind a version without ISP.",
       Container().Record(kVersion, Payload().Text("V6.20")).Record(kCode, code).bytes(),
       "(a format version without \"ISP.\" at offset 0x4)"},
      {"a bad sum before the code block",
       Container()
           .Record(kSilent, Payload().U8(1))
           .Custom(0x70, kProgramVariant, {1}, std::nullopt, false)
           .Record(kCode, code)
           .bytes(),
       "damaged: the record of type 21 at offset 0xD does not sum to 0"},
      {"a bad sum behind the code block",
       Container().Record(kCode, code).Custom(0x70, kSilent, {1}, std::nullopt, false).bytes(),
       "the record of type 25 at offset 0x70 does not sum to 0"},
      {"a code block cut short by 10 bytes",
       CutShort(Container().Record(kStrings, Strings({"EN", "Title"})).Record(kCode, code), 10),
       "the record of type 255 at offset 0x15 declares 100 payload bytes, but only 90 follow"},
      {"a length near 4 GiB behind the code block",
       Container().Record(kCode, code).Custom(0x70, kSilent, {1}, 0xFFFFFFFF, true).bytes(),
       "declares 4294967295 payload bytes, but only 1 follow"},
      {"a record header cut short behind the code block",
       Container().Record(kCode, code).Append({0x70, kSilent, 0}).bytes(),
       "damaged: the record header at offset 0x70 is cut short: 3 of its 8 bytes follow"},
      {"a payload too short for its layout behind the code block",
       Container().Record(kCode, code).Record(kSetFrequency, Bytes{1, 2}).bytes(),
       "the record of type 18 at offset 0x70 is too short for its layout"},
      {"a foreign tag behind the code block",
       Container().Record(kCode, code).Append({0x00, 0x55, 0xAA}).bytes(), nullptr},
      {"the end record and damage behind it",
       Container().Record(kCode, code).Record(0, Bytes{}).Append({0x70, 1}).bytes(), nullptr},
      {"a version without ISP. behind the code block",
       Container().Record(kCode, code).Record(kVersion, Payload().Text("V")).bytes(), nullptr},
      {"an unknown record type", Container().Record(77, Filled(9)).Record(kCode, code).bytes(),
       nullptr},
  };
  for (const FirmwareCase& k : cases) {
    const ProjectParseResult r = ParseProjectContainer(k.container);
    if (k.refusal == nullptr) {
      ASSERT_TRUE(r.project.has_value()) << k.name << ": " << r.refusal;
      EXPECT_EQ(r.project->code_block, code) << k.name;
      continue;
    }
    EXPECT_FALSE(r.project.has_value()) << k.name;
    EXPECT_NE(r.refusal.find(k.refusal), std::string::npos) << k.name << ": " << r.refusal;
  }
}

TEST(ProjectParserTest, TruncatedRecordsAreNeverReadPastTheEnd) {
  const Bytes firmware = WithFirmware(Container());
  const Bytes whole = WithFirmware(Container().Record(kSilent, Payload().U8(1)));
  for (std::size_t cut = firmware.size(); cut < whole.size(); ++cut) {
    // An exact-size copy so that the sanitizers see any read past the data.
    const Bytes head(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    const ProjectParseResult r = ParseProjectContainer(head);
    EXPECT_EQ(r.project.has_value(), cut == firmware.size()) << cut << ": " << r.refusal;
  }
}

// Every fixed layout: the full payload is read, one byte less is a damaged record.
struct LayoutCase {
  std::uint8_t type;
  Bytes payload;
};

TEST(ProjectParserTest, PayloadShorterThanItsLayoutIsDamaged) {
  const LayoutCase cases[] = {
      {kChip, Payload().U16(0x5A00).U8(0)},
      {kOptionWords, Filled(16)},
      {kSetFrequency, Filled(4)},
      {kSerials, Payload().Raw(Filled(84, 0))},
      {kOptionFlags, Filled(6)},
      {kProgramVariant, {1}},
      {kBoardP1, {1}},
      {kPreCommand, Payload().U8(1).I32(9600).U8(0).U8(0).Counted({1, 2, 3})},
      {kUiCommand,
       Payload().U8(1).I32(9600).U8(0).U8(0).U16(4).I32(0).Counted({1}).Counted({2, 3})},
      {kSilent, {1}},
      {kBoard, Filled(15)},
      {kFrequencyOverride, Filled(4)},
      {kBaudPause, Filled(4)},
      {kSyncBurst, Filled(4)},
      {kOptionExtra, Filled(4)},
      {kDataOffset, Payload().I32(0)},
  };
  for (const LayoutCase& k : cases) {
    Container full;
    full.Record(kVersion, Payload().Text("ISP.6.20"))
        .Record(k.type, k.payload)
        .Record(kCode, Bytes{0x02});
    EXPECT_EQ(ParseOk(full).code_block, Bytes{0x02}) << "type " << int{k.type};

    Bytes shorter = k.payload;
    shorter.pop_back();
    Container cut;
    cut.Record(kVersion, Payload().Text("ISP.6.20"))
        .Record(k.type, shorter)
        .Record(kCode, Bytes{0x02});
    const ProjectParseResult r = ParseProjectContainer(WithFirmware(cut));
    EXPECT_FALSE(r.project.has_value()) << "type " << int{k.type};
    EXPECT_NE(r.refusal.find("too short for its layout"), std::string::npos) << r.refusal;
  }
}

TEST(ProjectParserTest, CountsInsideCommandsAreCheckedAgainstThePayload) {
  // The count byte promises more bytes than the record holds.
  Container pre;
  pre.Record(kPreCommand, Payload().U8(1).I32(9600).U8(0).U8(0).U8(200).Raw({1, 2}))
      .Record(kSilent, Payload().U8(1));
  EXPECT_FALSE(ParseProjectContainer(WithFirmware(pre)).project.has_value());

  Container ui;
  ui.Record(kUiCommand, Payload().U8(1).I32(9600).U8(0).U8(0).U16(4).I32(0).Counted({1}).U8(9))
      .Record(kSilent, Payload().U8(1));
  EXPECT_FALSE(ParseProjectContainer(WithFirmware(ui)).project.has_value());
}

TEST(ProjectParserTest, LegalShortFormsStayLegal) {
  Container c;
  c.Record(kUserKey, Filled(5, 0x11))
      .Record(kCurrentPassword, Payload().Text("ab", false))
      .Record(kNewPassword, Payload().Text(std::string(70, 'x')))
      .Record(kSilent, Payload().U8(1));
  const Project p = ParseOk(c);
  EXPECT_EQ(p.user_key, Filled(5, 0x11));
  EXPECT_EQ(p.current_download_password, "ab") << "a password may end with the payload";
  EXPECT_EQ(p.new_download_password, std::string(63, 'x'));
  EXPECT_TRUE(p.silent);

  const Project empty = ParseOk(Container().Record(kCurrentPassword, Bytes{}));
  EXPECT_EQ(empty.current_download_password, "");
  EXPECT_TRUE(empty.DownloadPasswordPresent());
}

TEST(ProjectParserTest, ProjectStringsWithAndWithoutTheirLastNul) {
  struct Case {
    Bytes payload;
    std::vector<std::string> strings;
  } cases[] = {
      {Bytes{'A', 0, 'B', 0}, {"A", "B"}}, {Bytes{'A', 0, 'B'}, {"A", "B"}},
      {Bytes{0, 0, 'X'}, {"", "", "X"}},   {Bytes{}, {}},
      {Bytes{'C', 'H'}, {"CH"}},
  };
  for (const Case& k : cases) {
    const Project p = ParseOk(Container().Record(kStrings, k.payload));
    EXPECT_EQ(p.strings, k.strings);
    EXPECT_EQ(p.String(static_cast<int>(k.strings.size())), "");
    EXPECT_EQ(p.String(-1), "");
  }
}

TEST(ProjectParserTest, TheLastOccurrenceOfARecordWins) {
  Container c;
  c.Record(kSetFrequency, Payload().I32(1))
      .Record(kStrings, Strings({"EN"}))
      .Record(kSetFrequency, Payload().I32(2))
      .Record(kStrings, Strings({"CH", "T"}));
  const Project p = ParseOk(c);
  EXPECT_EQ(p.set_frequency, 2);
  EXPECT_EQ(p.strings, (std::vector<std::string>{"CH", "T"}));
}

TEST(ProjectParserTest, MagicIsFourBytesCompared) {
  const Bytes refused[] = {{}, {'Q'}, {'Q', 'M', 'V'}, {'Q', 'M', 'V', 1}, {'Q', 'M', 'W', 0}};
  for (const Bytes& b : refused) EXPECT_FALSE(ParseProjectContainer(b).project.has_value());
  EXPECT_TRUE(ParseProjectContainer(WithFirmware(Container())).project.has_value());
  EXPECT_TRUE(ParseProjectContainer(WithFirmware(Container(Bytes{'Q', 'M', 'V', 0, 0x71, 1})))
                  .project.has_value());
}

TEST(ProjectParserTest, ChipIdentitySelectsTheFirstMatchingRecord) {
  const auto table = ChipTable();
  int alt = -1, sub3 = -1;
  for (std::size_t i = 1; i < table.size(); ++i) {
    if (alt < 0 && table[i].alt_id != 0) alt = static_cast<int>(i);
    if (sub3 < 0 && table[i].sub_model == 3) sub3 = static_cast<int>(i);
  }
  ASSERT_GT(alt, 0);
  ASSERT_GT(sub3, 0);
  struct Case {
    int id, sub, index;
  } cases[] = {
      {table[static_cast<std::size_t>(alt)].alt_id, 0, alt},
      {table[static_cast<std::size_t>(sub3)].id, 3, sub3},
      {0x1234, 0, 0},  // matches nothing: the placeholder
      {table[static_cast<std::size_t>(alt)].id, 7, 0},
  };
  for (const Case& k : cases) {
    const Project p = ParseOk(Container().Record(
        kChip,
        Payload().U16(static_cast<std::uint16_t>(k.id)).U8(static_cast<std::uint8_t>(k.sub))));
    EXPECT_EQ(p.chip_index, k.index) << std::hex << k.id;
  }
}

// Values that would later index a buffer are refused when the project loads.
struct LimitCase {
  const char* name;
  Container container;
  bool accepted;
};

Container SerialContainer(std::int32_t length, std::int32_t address, bool enabled = true) {
  Payload p;
  p.U8(enabled ? 1 : 0).I32(length).U128(0).I32(address).U128(1);
  p.U8(0).I32(0).U128(0).I32(0).U128(0).U8(0).U8(0);
  Container c;
  c.Record(kVersion, Payload().Text("ISP.6.20")).Record(kSerials, p);
  return c;
}

Container DataContainer(std::int32_t offset, std::size_t size) {
  Container c;
  c.Record(kDataOffset, Payload().I32(offset)).Record(kData, Filled(size));
  return c;
}

TEST(ProjectParserTest, ValuesOutsideTheirBuffersAreRefused) {
  const LimitCase cases[] = {
      {"code block of 131072", Container().Record(kCode, Filled(131072)), true},
      {"code block of 131073", Container().Record(kCode, Filled(131073)), false},
      {"data block ending at 131072", DataContainer(131072 - 16, 16), true},
      {"data block ending at 131073", DataContainer(131072 - 15, 16), false},
      {"data block at a negative offset", DataContainer(-1, 16), false},
      {"data offset that overflows 32 bits", DataContainer(0x7FFFFFFF, 16), false},
      {"data offset without a data block", Container().Record(kDataOffset, Payload().I32(-9)),
       true},
      {"serial length 1", SerialContainer(1, 0), true},
      {"serial length 16", SerialContainer(16, 0), true},
      {"serial length 0", SerialContainer(0, 0), false},
      {"serial length 17", SerialContainer(17, 0), false},
      {"serial length -1", SerialContainer(-1, 0), false},
      {"serial at a negative address", SerialContainer(4, -1), false},
      {"serial ending at 65536", SerialContainer(2, 65534), true},
      {"serial ending past 65536", SerialContainer(2, 65535), false},
      {"serial near the 32-bit end", SerialContainer(16, 0x7FFFFFFF), false},
      {"disabled serial with length 0", SerialContainer(0, -5, false), true},
      {"board program of 65536", Container().Record(kBoardProgram, Filled(65536)), true},
      {"board program of 65537", Container().Record(kBoardProgram, Filled(65537)), false},
      {"block A (251) of 2048", Container().Record(kRecord251, Filled(2048)), true},
      {"block A (251) of 2049", Container().Record(kRecord251, Filled(2049)), false},
      {"block B (250) of 16384", Container().Record(kRecord250, Filled(16384)), true},
      {"block B (250) of 16385", Container().Record(kRecord250, Filled(16385)), false},
      {"user key of 256", Container().Record(kUserKey, Filled(256)), true},
      {"user key of 257", Container().Record(kUserKey, Filled(257)), false},
  };
  for (const LimitCase& k : cases) {
    const ProjectParseResult r = ParseProjectContainer(WithFirmware(k.container));
    EXPECT_EQ(r.project.has_value(), k.accepted) << k.name << ": " << r.refusal;
    EXPECT_EQ(r.refusal.empty(), k.accepted) << k.name;
  }
}

TEST(ProjectParserTest, UserInterfaceCommandIsCutToItsBuffers) {
  struct Case {
    std::uint16_t length;
    std::int32_t address;
    std::uint16_t cut_length;
  } cases[] = {{3000, 0, 2048}, {100, 65500, 36}, {2048, 65536, 0},
               {10, -5, 0},     {10, 70000, 0},   {512, 100, 512}};
  for (const Case& k : cases) {
    Container c;
    c.Record(kUiCommand, Payload()
                             .U8(1)
                             .I32(9600)
                             .U8(0)
                             .U8(0)
                             .U16(k.length)
                             .I32(k.address)
                             .Counted(Filled(40))
                             .Counted(Filled(40)));
    const Project p = ParseOk(c);
    const UserInterfaceCommand& u = p.user_interface_command;
    EXPECT_EQ(u.reply_length, k.cut_length) << k.length << " at " << k.address;
    EXPECT_EQ(u.first_bytes.size(), 32u);
    EXPECT_EQ(u.second_bytes.size(), 31u);
  }
}

TEST(ProjectParserTest, BaudAndRepeatStringReadsLikeItsFormat) {
  struct Case {
    const char* text;
    int lowest, highest, delay, colour;
  } cases[] = {
      {"", 1, 9, 0, 0},
      {"3,7", 3, 7, 0, 0},
      {"0,9,2,16711680", 0, 9, 2, 16711680},
      {"12,7,5,99", 1, 7, 5, 99},  // an index outside 0..9 keeps its default
      {"4,-1,2,3", 4, 9, 2, 3},
      {" 2, 3,+4", 2, 3, 4, 0},
      {"2 ,3", 2, 9, 0, 0},  // a blank before the comma ends the reading
      {"a,3", 1, 9, 0, 0},
      {"99999999999,2", 1, 9, 0, 0},  // a number out of range ends the reading
      {"5,6,7,8,9", 5, 6, 7, 8},
  };
  for (const Case& k : cases) {
    const Project p = ParseOk(Container().Record(kStrings, Strings({"", "", "", "", "", k.text})));
    const StringSettings& s = p.string_settings;
    EXPECT_EQ(s.lowest_baud_index, k.lowest) << k.text;
    EXPECT_EQ(s.highest_baud_index, k.highest) << k.text;
    EXPECT_EQ(s.repeat_delay, k.delay) << k.text;
    EXPECT_EQ(s.label_colour, k.colour) << k.text;
  }
}

TEST(ProjectParserTest, NumberStringsReadWithAutomaticBase) {
  struct Case {
    const char* text;
    bool nonzero;
    bool is_one;
  } cases[] = {{"1", true, true},     {"01", true, true},    {"0x1", true, true},
               {"0x10", true, false}, {"2", true, false},    {"0", false, false},
               {"", false, false},    {"abc", false, false}, {" 1", true, true}};
  for (const Case& k : cases) {
    Payload strings;
    for (int i = 0; i < 12; ++i) strings.Text("");
    strings.Text(k.text).Text("").Text(k.text).Text(k.text).Text(k.text);
    const Project p = ParseOk(Container().Record(kStrings, strings));
    const StringSettings& s = p.string_settings;
    EXPECT_EQ(s.quiet_information, k.nonzero) << k.text;
    EXPECT_EQ(s.auto_start, k.is_one) << k.text;
    EXPECT_EQ(s.login_required, k.is_one) << k.text;
    EXPECT_EQ(s.fixed_port_index != 0, k.nonzero) << k.text;
  }
}

}  // namespace
}  // namespace fw
