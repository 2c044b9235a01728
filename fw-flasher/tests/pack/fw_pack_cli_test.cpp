// fw-pack as a user runs it: flashers and blocks written, --show on what they
// carry and on a container made by hand, refusals and their exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/project/project_loader.h"
#include "pack/json_fields.h"
#include "pack_test_support.h"
#include "target/board/project_scramble.h"
#include "target/chips/chip_table.h"
#include "tests/support/container_builder.h"

namespace fw {
namespace {

using test::Bytes;
using test::Container;
using test::Payload;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class FwPackCliTest : public test::PackFolderTest {
 protected:
  RunResult Pack(const std::vector<std::string>& args, const std::string& input = "") {
    return RunProgram(FW_PACK_PATH, args, input);
  }

  RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::string& input = "") {
    const auto in = Write("stdin.txt", input);
    std::string command = Quoted(program);
    for (const std::string& a : args) command += " " + Quoted(a);
    command += " <" + Quoted(in.string()) + " >" + Quoted((dir_ / "stdout.txt").string()) + " 2>" +
               Quoted((dir_ / "stderr.txt").string());
    const int raw = std::system(command.c_str());
    RunResult run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = Read(dir_ / "stdout.txt");
    run.err = Read(dir_ / "stderr.txt");
    return run;
  }

  std::string Description(const char* json) {
    Write("firmware.hex", test::kFullFirmwareHex);
    Write("login.txt", "demo\n");
    Write("new.txt", "new one\n");
    return Write("project.json", json).string();
  }

  std::string WriteBytes(const std::string& name, const Bytes& bytes) {
    return Write(name, std::string(bytes.begin(), bytes.end())).string();
  }
};

TEST_F(FwPackCliTest, FlasherIsTheTemplateWithTheBlockBehindIt) {
  const std::string project = Description(test::kFullDescription);
  const std::string flasher = (dir_ / "flasher").string();
  const RunResult run =
      Pack({project, "-o", flasher, "--template", TEMPLATE_PROGRAM_PATH}, "cur-secret\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("warning: the image is 66048 bytes"), std::string::npos) << run.err;

  struct stat info {};
  ASSERT_EQ(::stat(flasher.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  const std::string program = Read(TEMPLATE_PROGRAM_PATH);
  const std::string written = Read(flasher);
  EXPECT_EQ(written.compare(0, program.size(), program), 0) << "the template comes first";

  const ProjectLoadResult loaded = LoadProjectFromProgram(flasher);
  ASSERT_TRUE(loaded.project.has_value()) << loaded.reason;
  EXPECT_EQ(loaded.project->current_download_password, "cur-secret");
  const RunResult ran = RunProgram(flasher, {});
  EXPECT_EQ(ran.status, 0) << "still a working program";
  EXPECT_EQ(ran.out, "template program runs\n");

  // Made from a flasher, the earlier block is replaced, not stacked.
  const std::string second = (dir_ / "second").string();
  const std::string minimal = Write("minimal.json", test::kMinimalDescription).string();
  ASSERT_EQ(Pack({minimal, "-o", second, "--template", flasher}).status, 0);
  const ProjectLoadResult again = LoadProjectFromProgram(second);
  ASSERT_TRUE(again.project.has_value()) << again.reason;
  EXPECT_EQ(again.project->String(ProjectStringId::kApplicationName), "Minimal");
  const std::string replaced = Read(second);
  EXPECT_EQ(replaced.compare(0, program.size(), program), 0);
  EXPECT_LT(replaced.size(), written.size());
}

TEST_F(FwPackCliTest, BlocksScrambledOrPlainAndReproducible) {
  const std::string project = Description(test::kMinimalDescription);
  const auto stored = dir_ / "stored.blk";
  const auto plain = dir_ / "plain.blk";
  ASSERT_EQ(Pack({project, "--block", stored.string()}).status, 0);
  ASSERT_EQ(Pack({project, "--block", plain.string(), "--plain"}).status, 0);
  EXPECT_EQ(Read(plain).substr(0, 4), std::string("QMV\0", 4));
  EXPECT_NE(Read(stored).substr(0, 4), std::string("QMV\0", 4));
  EXPECT_EQ(Read(stored).size(), Read(plain).size());

  const std::string first = Read(stored);
  ASSERT_EQ(Pack({project, "--block", stored.string()}).status, 0);
  EXPECT_EQ(Read(stored), first) << "the same input gives the same bytes";

  for (const auto& block : {stored, plain}) {
    const RunResult shown = Pack({"--show", block.string()});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(Json::parse(shown.out)["texts"]["application_name"], "Minimal");
  }
}

TEST_F(FwPackCliTest, ShownFlasherPacksToTheSameBlock) {
  const std::string project = Description(test::kFullDescription);
  const auto first = dir_ / "first.blk";
  ASSERT_EQ(Pack({project, "--block", first.string()}, "cur-secret\n").status, 0);
  const RunResult shown = Pack({"--show", first.string()});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out.find("cur-secret"), std::string::npos) << "passwords are masked";
  const std::string again_json = Write("shown.json", shown.out).string();
  const auto again = dir_ / "again.blk";
  const RunResult repacked =
      Pack({again_json, "--block", again.string()}, "demo\ncur-secret\nnew one\n");
  ASSERT_EQ(repacked.status, 0) << repacked.err;
  EXPECT_EQ(Read(again), Read(first));
}

// A container written here from the record format alone, unscrambled.
TEST_F(FwPackCliTest, ShowPrintsEveryFieldOfAHandMadeContainer) {
  const int chip = FindChipByName("QMV11A64000");
  const ChipRecord& record = ChipTable()[static_cast<std::size_t>(chip)];
  Bytes block_b = {0x12, 0x34};  // held scrambled; --show prints it plain
  ScrambleProjectBytes(block_b.data(), block_b.size());
  Container c;
  c.Record(1, Payload().Text("ISP.6.20"))
      .Record(16, Payload().U16(record.id).U8(record.sub_model))
      .Record(17, Payload().I32(1).I32(2).I32(3).I32(-1))
      .Record(18, Payload().I32(12000000))
      .Record(19, Payload()
                      .U8(1)
                      .I32(3)
                      .U128(999)
                      .I32(0x40)
                      .U128(2)
                      .U8(0)
                      .I32(0)
                      .U128(0)
                      .I32(0)
                      .U128(0)
                      .U8(1)
                      .U8(0))
      .Record(20, Payload().Raw({0x11, 1, 0x22, 1, 1, 0}))
      .Record(21, Payload().U8(1))
      .Record(22, Payload().U8(9))
      .Record(23, Payload().U8(1).I32(19200).U8(3).U8(2).Counted({0xAB}))
      .Record(24, Payload().U8(0).I32(1200).U8(4).U8(0).U16(8).I32(0x80).Counted({1}).Counted({2}))
      .Record(25, Payload().U8(1))
      .Record(26, Payload().Text("cur-secret"))
      .Record(28, Payload().Raw({1, 2, 1, 0, 3, 4, 5, 0, 0, 0, 6, 1, 7, 0, 1}))
      .Record(29, Payload().I32(11059200))
      .Record(30, Payload().I32(20))
      .Record(31, Payload().I32(2))
      .Record(33, Payload().I32(0x5A))
      .Record(34, Payload().I32(0x10000))
      .Record(249, Bytes{0xB0})
      .Record(250, block_b)
      .Record(251, Bytes{0xA0, 0xA1})
      .Record(252, Payload()
                       .Text("EN")
                       .Text("Title")
                       .Text("Go")
                       .Text("S1")
                       .Text("Log")
                       .Text("3,9,1,65280")
                       .Text("Again")
                       .Text("")
                       .Text("")
                       .Text("Chip name")
                       .Text("S2")
                       .Text("HandMade")
                       .Text("0")
                       .Text("")
                       .Text("0")
                       .Text("0")
                       .Text("0")
                       .Text("", false))
      .Record(253, Bytes{0x55, 0x66})
      .Record(254, Bytes{0xEE, 0xEF})
      .Record(255, Bytes{0x02, 0x00, 0x30});
  const RunResult run = Pack({"--show", WriteBytes("hand.blk", c.bytes())});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json j = Json::parse(run.out);

  EXPECT_EQ(j["chip"], "QMV11A64000");
  EXPECT_EQ(j["option_words"],
            Json::parse(R"(["0x00000001","0x00000002","0x00000003","0xFFFFFFFF"])"));
  EXPECT_EQ(j["set_frequency_hz"], 12000000);
  EXPECT_EQ(j["frequency_override_hz"], 11059200);
  EXPECT_EQ(j["baud_pause_override_ms"], 20);
  EXPECT_EQ(j["sync_burst"], 2);
  EXPECT_EQ(j["option_extra_value"], 0x5A);
  EXPECT_EQ(j["program_variant"], true);
  EXPECT_EQ(j["silent"], true);
  EXPECT_EQ(j["option_bytes"], Json::parse(R"({"set_option_bytes_16_to_18": true,
      "option_byte_17": 17, "option_byte_18": 34, "keep_option_16_bit_1": true,
      "keep_option_16_bit_2": true, "paced_sync": false})"));
  EXPECT_EQ(j["board"], Json::parse(R"({"p1": 9, "p2": 1, "p3": 10, "p4": true})"));
  EXPECT_EQ(j["option_flags"],
            Json::parse(R"({"flag_2": false, "flag_3": true, "flag_4": false, "flag_5": true})"));
  EXPECT_EQ(j["pass_through"], Json::parse(R"({"value_1": 3, "value_2": 4, "value_3": 5,
      "value_4": 7, "value_5_base": 6})"));
  EXPECT_EQ(j["pre_command"], Json::parse(R"({"enabled": true, "baud": 19200, "parity": "mark",
      "stop_bits": 2, "bytes": "AB"})"));
  EXPECT_EQ(j["user_interface_command"], Json::parse(R"({"enabled": false, "baud": 1200,
      "parity": "space", "stop_bits": 1, "reply_length": 8, "reply_address": "0x0080",
      "first_bytes": "01", "second_bytes": "02"})"));
  EXPECT_EQ(j["serial_numbers"], Json::parse(R"([
      {"enabled": true, "length": 3, "start": "999", "address": "0x0040", "step": "2",
       "format": "bcd"},
      {"enabled": false, "length": 0, "start": "0", "address": "0x0000", "step": "0",
       "format": "number"}])"));
  EXPECT_EQ(j["data_offset"], "0x10000");
  EXPECT_EQ(j["code_image"]["hex"], "020030");
  EXPECT_EQ(j["data_image"]["hex"], "EEEF");
  EXPECT_EQ(j["user_key"]["hex"], "5566");
  EXPECT_EQ(j["board_program"]["hex"], "B0");
  EXPECT_EQ(j["board_firmware_a"]["hex"], "A0A1");
  EXPECT_EQ(j["board_firmware_b"]["hex"], "1234");
  EXPECT_EQ(j["texts"], Json::parse(R"({"language": "EN", "title": "Title",
      "start_once_caption": "Go", "start_repeat_caption": "Again", "start_third_caption": "",
      "serial_1_label": "S1", "serial_2_label": "S2", "initial_log": "Log",
      "chip_name": "Chip name", "application_name": "HandMade"})"));
  EXPECT_EQ(j["lowest_baud"], 9600);
  EXPECT_EQ(j["highest_baud"], 115200);
  EXPECT_EQ(j["repeat_delay"], 1);
  EXPECT_EQ(j["label_colour"], "#00FF00");
  EXPECT_EQ(j["quiet_information"], false);
  EXPECT_EQ(j["auto_start"], Json::parse(R"({"enabled": false, "port_index": 0})"));
  EXPECT_EQ(j["login"], Json::parse(R"({"required": false})"));
  EXPECT_EQ(j["download_passwords"], Json::parse(R"({"current": {"prompt": true}})"));
  EXPECT_EQ(run.out.find("cur-secret"), std::string::npos);
}

TEST_F(FwPackCliTest, ShowRefusesFilesWithoutSoundProjectData) {
  const Bytes program = {0x7F, 'E', 'L', 'F', 1, 2, 3};
  const std::string flasher = (dir_ / "flasher").string();
  ASSERT_EQ(Pack({Description(test::kMinimalDescription), "-o", flasher, "--template",
                  WriteBytes("program", program)})
                .status,
            0);
  std::string bad_crc = Read(flasher);
  bad_crc[program.size() + 2] ^= 0x01;
  std::string wrong_magic = Read(flasher);
  wrong_magic[program.size() + 1] ^= 0x01;  // scrambled 'M'
  // The CRC has to agree for the magic to be looked at: rebuild the trailer's CRC.
  const Bytes wrong_block(wrong_magic.begin() + static_cast<std::ptrdiff_t>(program.size()),
                          wrong_magic.end() - 16);
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, wrong_block.data(), static_cast<uInt>(wrong_block.size())));
  for (int i = 0; i < 4; ++i)
    wrong_magic[wrong_magic.size() - 4 + static_cast<std::size_t>(i)] =
        static_cast<char>(crc >> (8 * i));

  struct Case {
    const char* name;
    std::string file;
    const char* message;
  } cases[] = {
      {"no trailer", WriteBytes("program2", program), "File verification failed"},
      {"bad CRC", Write("bad_crc", bad_crc).string(), "File verification failed"},
      {"wrong magic", Write("wrong_magic", wrong_magic).string(), "The file is damaged"},
  };
  for (const Case& k : cases) {
    const RunResult run = Pack({"--show", k.file});
    EXPECT_EQ(run.status, 1) << k.name;
    EXPECT_NE(run.err.find(k.message), std::string::npos) << k.name << ": " << run.err;
    EXPECT_TRUE(run.out.empty()) << k.name;
  }
}

TEST_F(FwPackCliTest, ShowRefusesABlockCutShortSayingWhereItStopped) {
  const std::string block = (dir_ / "plain.blk").string();
  ASSERT_EQ(Pack({Description(test::kMinimalDescription), "--block", block, "--plain"}).status, 0);
  std::string cut = Read(block);
  cut.resize(cut.size() - 10);
  const RunResult run = Pack({"--show", Write("cut.blk", cut).string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("The file is damaged"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("the record of type 255 at offset 0x"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("payload bytes, but only"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty());
}

// A FIFO, a device or a folder is neither read as a project nor replaced by
// one: reading it may wait for ever, and replacing it would take it away.
TEST_F(FwPackCliTest, OnlyRegularFilesAreShownOrWritten) {
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = (dir_ / "folder").string();
  std::filesystem::create_directory(folder);
  std::vector<std::string> specials = {fifo, folder};
  // A device node of its own (the null device's numbers), where it may be made.
  const std::string device = (dir_ / "device").string();
  if (::mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
    specials.push_back(device);
  } else {
    std::cerr << "no device node case: mknod: " << std::strerror(errno) << "\n";
  }
  const std::string minimal = Description(test::kMinimalDescription);
  for (const std::string& file : specials) {
    SCOPED_TRACE(file);
    struct stat before {};
    ASSERT_EQ(::lstat(file.c_str(), &before), 0);
    const RunResult shown = RunProgram("timeout", {"10", FW_PACK_PATH, "--show", file});
    if (file == folder) {
      EXPECT_EQ(shown.status, 2) << "a folder is refused by the command line: " << shown.err;
    } else {
      EXPECT_EQ(shown.status, 1) << shown.err;
      EXPECT_NE(shown.err.find("no regular file"), std::string::npos) << shown.err;
    }
    for (const char* option : {"--block", "-o"}) {
      std::vector<std::string> args = {"10", FW_PACK_PATH, minimal, option, file};
      if (std::string(option) == "-o")
        args.insert(args.end(), {"--template", TEMPLATE_PROGRAM_PATH});
      const RunResult written = RunProgram("timeout", args);
      EXPECT_EQ(written.status, 1) << option << ": " << written.err;
      EXPECT_NE(written.err.find("is no regular file"), std::string::npos) << written.err;
      struct stat after {};
      ASSERT_EQ(::lstat(file.c_str(), &after), 0);
      EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT) << option << " replaced it";
      EXPECT_EQ(after.st_ino, before.st_ino) << option << " replaced it";
    }
  }
  // No temporary file was left beside them.
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    for (const char* left : {"fifo.", "folder.", "device."})
      EXPECT_NE(name.rfind(left, 0), 0u) << name;
  }
}

TEST_F(FwPackCliTest, RefusalsAndUsageErrors) {
  Json json = Json::parse(test::kMinimalDescription);
  json["serial_numbers"] = {{{"enabled", true}, {"length", 20}}};
  const std::string refused = Write("refused.json", json.dump()).string();
  const RunResult run = Pack({refused, "--block", (dir_ / "x.blk").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("serial_numbers[0].length"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "x.blk"));

  const std::string minimal = Write("minimal.json", test::kMinimalDescription).string();
  EXPECT_EQ(Pack({minimal}).status, 2) << "no output named";
  EXPECT_EQ(Pack({minimal, "--plain", "-o", "x"}).status, 2) << "--plain belongs to --block";
  EXPECT_EQ(Pack({"--show", minimal, minimal}).status, 2);
  EXPECT_EQ(Pack({minimal, "-o", (dir_ / "f").string(), "--template", minimal + ".none"}).status,
            2);
  const RunResult bad_json = Pack({Write("bad.json", "{\"chip\": ").string(), "--block", "y"});
  EXPECT_EQ(bad_json.status, 1);
  EXPECT_NE(bad_json.err.find("no valid JSON"), std::string::npos) << bad_json.err;
}

}  // namespace
}  // namespace fw
