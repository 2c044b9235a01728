// The request the builder makes of the project, record by record, as a link
// re-initialised with it holds it, and the image it builds from the code and
// data blocks.
#include <gtest/gtest.h>

#include <functional>

#include "app/run/download_request_builder.h"
#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"

namespace fw {
namespace {

Project BaseProject() {
  Project p;
  p.chip_index = FindChipByName("QMV02A12000");
  p.strings = {"CH", "", "", "", "", "", "", "", "", "QMV02A12000"};
  return p;
}

struct CopyCase {
  const char* what;
  std::function<void(Project&, RunChoices&)> set;
  std::function<void(const IspLink&)> check;
};

TEST(DownloadRequestBuilderTest, EachRecordReachesItsLinkField) {
  const CopyCase cases[] = {
      {"chip", [](Project&, RunChoices&) {},
       [](const IspLink& l) {
         const ChipRecord& r = ChipTable()[static_cast<std::size_t>(FindChipByName("QMV02A12000"))];
         EXPECT_EQ(l.target.chip_index, FindChipByName("QMV02A12000"));
         EXPECT_EQ(l.target.expected_chip_id, r.id);
         for (int id : l.target.alternative_ids) EXPECT_EQ(id, r.id);
         EXPECT_STREQ(l.target.chip_name, "QMV02A12000");
         EXPECT_EQ(l.target.protocol_variant, ProtocolVariant(r));
       }},
      {"chip name from string 9, cut to 31 bytes",
       [](Project& p, RunChoices&) { p.strings[9] = std::string(40, 'N'); },
       [](const IspLink& l) { EXPECT_EQ(std::string(l.target.chip_name), std::string(31, 'N')); }},
      {"chip name in GBK is logged as UTF-8 and cut between characters",
       [](Project& p, RunChoices&) {
         p.strings[9].clear();
         for (int i = 0; i < 12; ++i) p.strings[9] += "\xBC\xCC";  // 12 characters, 36 UTF-8 bytes
       },
       [](const IspLink& l) { EXPECT_EQ(std::string(l.target.chip_name).size(), 30u); }},
      {"an index outside the table is the placeholder record",
       [](Project& p, RunChoices&) { p.chip_index = 100000; },
       [](const IspLink& l) { EXPECT_EQ(l.target.chip_index, 0); }},
      {"option words little-endian; byte 16 FF without record 20 byte 4",
       [](Project& p, RunChoices&) {
         p.option_words = {0x04030201, 0x08070605, 0x0C0B0A09, 0x100F0E0D};
         p.option_bytes.option_byte_17 = 0x11;
       },
       [](const IspLink& l) {
         for (int k = 0; k < 16; ++k) EXPECT_EQ(l.image.option_bytes[k], k + 1) << k;
         EXPECT_EQ(l.image.option_bytes[16], 0xFF);
         EXPECT_EQ(l.image.option_bytes[17], 0xFF);
         EXPECT_EQ(l.image.option_bytes[18], 0xFF);
       }},
      {"record 20 with byte 4: bits 0-2 of byte 16, bytes 17 and 18",
       [](Project& p, RunChoices&) {
         p.option_bytes.set_option_bytes_16_to_18 = true;
         p.option_bytes.option_byte_17 = 0x12;
         p.option_bytes.option_byte_18 = 0x34;
       },
       [](const IspLink& l) {
         EXPECT_EQ(l.image.option_bytes[16], 0xF8);
         EXPECT_EQ(l.image.option_bytes[17], 0x12);
         EXPECT_EQ(l.image.option_bytes[18], 0x34);
       }},
      {"record 20 bytes 1 and 3 keep bits 1 and 2",
       [](Project& p, RunChoices&) {
         p.option_bytes.set_option_bytes_16_to_18 = true;
         p.option_bytes.keep_option_16_bit_1 = true;
         p.option_bytes.keep_option_16_bit_2 = true;
       },
       [](const IspLink& l) { EXPECT_EQ(l.image.option_bytes[16], 0xFE); }},
      {"the run's rates",
       [](Project&, RunChoices& c) {
         c.handshake_baud = 9600;
         c.highest_baud = 38400;
       },
       [](const IspLink& l) {
         EXPECT_EQ(l.request.handshake_baud, 9600);
         EXPECT_EQ(l.request.highest_baud, 38400);
       }},
      {"measured frequency from option byte 15 bit 0",
       [](Project& p, RunChoices&) { p.option_words[3] = 0x01000000; },
       [](const IspLink& l) {
         EXPECT_EQ(l.clock.measured_frequency, 22118400);
         EXPECT_FALSE(l.request.frequency_override);
       }},
      {"measured frequency 11.0592 MHz when bit 0 is clear",
       [](Project& p, RunChoices&) { p.option_words[3] = 0xFEFFFFFF; },
       [](const IspLink& l) { EXPECT_EQ(l.clock.measured_frequency, 11059200); }},
      {"record 29 overrides the frequency",
       [](Project& p, RunChoices&) { p.frequency_override = 24000000; },
       [](const IspLink& l) {
         EXPECT_EQ(l.clock.measured_frequency, 24000000);
         EXPECT_TRUE(l.request.frequency_override);
       }},
      {"the simple records",
       [](Project& p, RunChoices& c) {
         p.set_frequency = 12000000;
         p.silent = true;
         p.program_variant = true;
         p.baud_pause_override = 30;
         p.sync_burst = 4;
         p.option_extra_value = 0x1234;
         p.option_bytes.paced_sync = true;
         p.string_settings.quiet_information = true;
         c.language = 0;
         c.run_mode = RunMode::kRepeated;
       },
       [](const IspLink& l) {
         EXPECT_EQ(l.request.set_frequency, 12000000);
         EXPECT_TRUE(l.request.silent);
         EXPECT_TRUE(l.request.program_variant);
         EXPECT_EQ(l.request.baud_pause_override, 30);
         EXPECT_EQ(l.request.sync_burst, 4);
         EXPECT_EQ(l.request.option_extra_value, 0x1234);
         EXPECT_TRUE(l.request.paced_sync);
         EXPECT_TRUE(l.request.quiet_information);
         EXPECT_EQ(l.request.language, 0);
         EXPECT_EQ(l.request.run_mode, RunMode::kRepeated);
       }},
      {"board parameters and pass-through values",
       [](Project& p, RunChoices&) {
         p.board_p1 = 7;
         p.board_p2 = 1;
         p.board_p3 = 60;
         p.board_p4 = true;
         p.option_flag_3 = true;
         p.option_flag_5 = true;
         p.pass_through_1 = 11;
         p.pass_through_2 = 22;
         p.pass_through_3 = -5;
         p.pass_through_4 = 44;
         p.pass_through_5_base = 100;
       },
       [](const IspLink& l) {
         EXPECT_EQ(l.request.board.p1, 7);
         EXPECT_TRUE(l.request.board.p2);
         EXPECT_EQ(l.request.board.p3, 60);
         EXPECT_TRUE(l.request.board.p4);
         EXPECT_EQ(l.request.pass_through.option_flags,
                   (std::array<bool, 4>{false, true, false, true}));
         EXPECT_EQ(l.request.pass_through.value_1, 11);
         EXPECT_EQ(l.request.pass_through.value_2, 22);
         EXPECT_EQ(l.request.pass_through.value_3, -5);
         EXPECT_EQ(l.request.pass_through.value_4, 44);
         EXPECT_EQ(l.request.pass_through.value_5, 105);
       }},
      {"pass-through value 5 is its base plus 9 without P2",
       [](Project& p, RunChoices&) { p.pass_through_5_base = 100; },
       [](const IspLink& l) { EXPECT_EQ(l.request.pass_through.value_5, 109); }},
      {"user key and passwords cut to 63 characters",
       [](Project& p, RunChoices&) {
         p.user_key = std::vector<std::uint8_t>(256, 0x5A);
         p.current_download_password = std::string(70, 'c');
         p.new_download_password = "new";
       },
       [](const IspLink& l) {
         EXPECT_TRUE(l.request.user_key_present);
         EXPECT_EQ(l.image.user_key, std::vector<std::uint8_t>(256, 0x5A));
         EXPECT_TRUE(l.request.password_present);
         EXPECT_EQ(l.request.password.length, 63);
         EXPECT_EQ(l.request.password.bytes[62], 'c');
         EXPECT_EQ(l.request.new_password.length, 3);
       }},
      {"no user key, no passwords", [](Project&, RunChoices&) {},
       [](const IspLink& l) {
         EXPECT_FALSE(l.request.user_key_present);
         EXPECT_FALSE(l.request.password_present);
         EXPECT_EQ(l.request.password.length, 0);
       }},
      {"pre-command and user-interface command",
       [](Project& p, RunChoices&) {
         p.pre_command.line = {true, 19200, 3, 2};
         p.pre_command.bytes = {0x24, 0xFF};
         p.user_interface_command.line = {true, 4800, 4, 1};
         p.user_interface_command.reply_length = 8;
         p.user_interface_command.reply_address = 0x2000;
         p.user_interface_command.first_bytes = {0x01, 0x02};
         p.user_interface_command.second_bytes = {0x03};
       },
       [](const IspLink& l) {
         const TargetCommand& pre = l.request.commands.pre_command;
         EXPECT_TRUE(pre.enabled);
         EXPECT_EQ(pre.baud, 19200);
         EXPECT_EQ(pre.parity, 3);
         EXPECT_EQ(pre.stop_bits, 2);
         EXPECT_EQ(pre.bytes, (std::vector<std::uint8_t>{0x24, 0xFF}));
         const TargetCommand& ui = l.request.commands.user_interface;
         EXPECT_TRUE(ui.enabled);
         EXPECT_EQ(ui.baud, 4800);
         EXPECT_EQ(ui.parity, 4);
         EXPECT_EQ(ui.bytes, (std::vector<std::uint8_t>{0x01, 0x02}));
         EXPECT_EQ(l.request.commands.user_interface_second, std::vector<std::uint8_t>{0x03});
         EXPECT_TRUE(l.placements.user_interface.enabled);
         EXPECT_EQ(l.placements.user_interface.address, 0x2000);
         EXPECT_EQ(l.placements.user_interface.reply_length, 8);
       }},
      {"board firmware blocks always, the board program in run mode 4 only",
       [](Project& p, RunChoices&) {
         p.board_firmware_a = std::vector<std::uint8_t>(100, 0xA1);
         p.board_firmware_b = std::vector<std::uint8_t>(300, 0xB2);
         p.board_program = std::vector<std::uint8_t>(50, 0xC3);
       },
       [](const IspLink& l) {
         EXPECT_EQ(l.board.block_a_length, 100);
         EXPECT_EQ(l.board.block_a[99], 0xA1);
         EXPECT_EQ(l.board.block_b_length, 300);
         EXPECT_EQ(l.board.block_b[299], 0xB2);
         EXPECT_TRUE(l.request.board.program.empty());
       }},
      {"the board program in run mode 4",
       [](Project& p, RunChoices& c) {
         p.board_program = std::vector<std::uint8_t>(50, 0xC3);
         c.run_mode = RunMode::kBoard;
       },
       [](const IspLink& l) {
         EXPECT_EQ(l.request.board.program, std::vector<std::uint8_t>(50, 0xC3));
       }},
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(c.what);
    Project project = BaseProject();
    RunChoices choices;
    choices.language = 1;
    c.set(project, choices);
    IspLink link;
    link.Reinitialise(BuildDownloadRequest(project, choices));
    c.check(link);
  }
}

TEST(DownloadRequestBuilderTest, TwinChipsAcceptEachOthersId) {
  const auto f569 = AlternativeIds(0xF569);
  EXPECT_EQ(f569[0], 0xF56D);
  for (std::size_t i = 1; i < f569.size(); ++i) EXPECT_EQ(f569[i], 0xF569);
  const auto f56d = AlternativeIds(0xF56D);
  EXPECT_EQ(f56d[0], 0xF569);
  EXPECT_EQ(f56d[15], 0xF56D);
  for (int id : AlternativeIds(0x0400)) EXPECT_EQ(id, 0x0400);
}

TEST(DownloadRequestBuilderTest, BaudIndexesChooseTheTableRates) {
  struct Case {
    int index;
    int fallback;
    int rate;
  };
  const Case cases[] = {
      {0, 1, 1200}, {3, 1, 9600}, {9, 1, 115200}, {-1, 1, 2400}, {10, 9, 115200}, {10, 12, 1200},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BaudOfIndex(c.index, c.fallback), c.rate) << c.index << " " << c.fallback;
  }
}

TEST(DownloadRequestBuilderTest, TheImageIsBuiltFromTheBlocks) {
  struct Case {
    const char* what;
    std::size_t code_size;
    std::size_t data_size;
    int data_offset;
    bool program_variant;
    int image_length;
  };
  const Case cases[] = {
      {"one byte of code", 1, 0, 0, false, 512},
      {"a multiple of 512 stays", 1024, 0, 0, false, 1024},
      {"one more byte", 1025, 0, 0, false, 1536},
      {"data block at its offset", 700, 10, 0x2000, false, 0x2200},
      {"data block below the code's end", 4096, 16, 0x100, false, 512},
      {"no blocks at all", 0, 0, 0, false, 0},
      {"with the program variant the serial area stays", 4096, 0, 0, true, 4096},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Project project = BaseProject();
    project.code_block.assign(c.code_size, 0x11);
    project.data_block.assign(c.data_size, 0x22);
    project.data_offset = c.data_offset;
    project.program_variant = c.program_variant;
    SerialNumberSettings serial;
    serial.enabled = true;
    serial.address = 0x10;
    serial.length = 4;
    project.serial_numbers[1] = serial;
    IspLink link;
    link.Reinitialise(BuildDownloadRequest(project, RunChoices{}));
    EXPECT_EQ(link.image.image_length, c.image_length);
    const auto& source = link.image.image_source;
    if (c.code_size > 0x14) {
      const std::uint8_t serial_byte = c.program_variant ? 0x11 : 0xFF;
      EXPECT_EQ(source[0x0F], 0x11);
      EXPECT_EQ(source[0x10], serial_byte);
      EXPECT_EQ(source[0x13], serial_byte);
      EXPECT_EQ(source[0x14], 0x11);
    }
    if (c.data_size > 0) {
      EXPECT_EQ(source[static_cast<std::size_t>(c.data_offset)], 0x22);
      EXPECT_EQ(source[static_cast<std::size_t>(c.data_offset) + c.data_size - 1], 0x22);
    }
    const std::size_t end =
        std::max(c.code_size, c.data_size > 0 ? c.data_offset + c.data_size : 0);
    if (end < static_cast<std::size_t>(c.image_length)) {
      EXPECT_EQ(source[end], 0xFF);
    }
  }
}

TEST(DownloadRequestBuilderTest, ASerialAreaOutsideTheBufferBlanksOnlyWhatIsInside) {
  Project project = BaseProject();
  project.code_block.assign(512, 0x11);
  SerialNumberSettings serial;
  serial.enabled = true;
  serial.address = -2;
  serial.length = 4;
  project.serial_numbers[0] = serial;
  serial.address = 131070;
  project.serial_numbers[1] = serial;
  IspLink link;
  link.Reinitialise(BuildDownloadRequest(project, RunChoices{}));
  EXPECT_EQ(link.image.image_source[0], 0xFF);
  EXPECT_EQ(link.image.image_source[1], 0xFF);
  EXPECT_EQ(link.image.image_source[2], 0x11);
  EXPECT_EQ(link.image.image_source[131071], 0xFF);
}

TEST(DownloadRequestBuilderTest, PreparedSerialsReachThePlacements) {
  std::array<PreparedSerial, 2> prepared{};
  prepared[1].enabled = true;
  prepared[1].address = 0x300;
  prepared[1].length = 3;
  prepared[1].format = kSerialBcd;
  prepared[1].value = SerialValue::FromUnsigned64(0x123456);
  DownloadRequest request;
  PlaceSerialNumbers(prepared, request);
  IspLink link;
  link.Reinitialise(request);
  EXPECT_FALSE(link.placements.serial_numbers[0].enabled);
  const SerialNumberPlacement& p = link.placements.serial_numbers[1];
  EXPECT_TRUE(p.enabled);
  EXPECT_EQ(p.address, 0x300);
  EXPECT_EQ(p.length, 3);
  EXPECT_EQ(p.format, kSerialBcd);
  EXPECT_EQ(p.value[0], 0x56);
  EXPECT_EQ(p.value[2], 0x12);
}

}  // namespace
}  // namespace fw
