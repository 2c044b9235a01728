#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RunProcess.h"

namespace relay::test {
namespace {

namespace fs = std::filesystem;

ProcessResult Cli(const std::vector<std::string>& args) { return RunProcess(RELAY_CLI_PATH, args); }

struct CliCase {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
  std::string out;          // exact stdout
  std::string errMentions;  // a part of stderr ("" = stderr must be empty)
};

void PrintTo(const CliCase& c, std::ostream* os) { *os << c.name; }

class RelayCliCases : public ::testing::TestWithParam<CliCase> {};

TEST_P(RelayCliCases, PrintsTheResultOrRefuses) {
  const CliCase& c = GetParam();
  const ProcessResult r = Cli(c.args);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
  EXPECT_EQ(r.out, c.out);
  if (c.errMentions.empty())
    EXPECT_EQ(r.err, "");
  else
    EXPECT_NE(r.err.find(c.errMentions), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RelayCliCases,
    ::testing::Values(
        CliCase{"EncodeIo",
                {"encode", "io", "--action", "open", "--channels", "1,16"},
                0,
                "02 80 01 83\n",
                ""},
        CliCase{"EncodeIoRange",
                {"encode", "io", "--action", "toggle", "--channels", "1-8"},
                0,
                "03 00 FF 02\n",
                ""},
        CliCase{"EncodeTimer", {"encode", "timer", "--delay", "10"}, 0, "04 00 0A 0E\n", ""},
        CliCase{"EncodeLoop", {"encode", "loop", "--count", "65535"}, 0, "00 FF FF FE\n", ""},
        CliCase{"EncodeTrigger",
                {"encode", "trigger", "--action", "open", "--channels", "2", "--pattern", "AB",
                 "--hold", "50", "--output-mode", "2", "--output", "0A 0B"},
                0,
                "86 00 02 87 C2 00 32 0A 0B 41 42 9B\n",
                ""},
        CliCase{"EncodeTriggerHex",
                {"encode", "trigger", "--action", "close", "--channels", "1", "--pattern", "0102",
                 "--hex"},
                0,
                "85 00 01 05 00 00 00 01 02 8E\n",
                ""},
        CliCase{"EncodeTriggerChinese",
                {"encode", "trigger", "--action", "open", "--channels", "1", "--pattern", "中",
                 "--output-mode", "3", "--output", "OK"},
                0,
                "86 00 01 87 62 00 00 4F 4B D6 D0 B0\n",
                ""},
        CliCase{"Describe", {"describe", "02 80 01 83"}, 0, "打开 -> 第 1 16 路\n", ""},
        CliCase{"DescribeSeparateBytes",
                {"describe", "04", "00", "0A", "0E"},
                0,
                "    定时器 -> 1000 毫秒\n",
                ""},
        CliCase{"DescribeFiller", {"describe", "FF FF FF"}, 0, "无效指令\n", ""},
        // Refused input: exit 1, nothing on stdout, the problem on stderr.
        CliCase{"NoAction", {"encode", "io", "--channels", "1"}, 1, "", "没有选择动作"},
        CliCase{
            "BadAction", {"encode", "io", "--action", "flip", "--channels", "1"}, 1, "", "flip"},
        CliCase{"NoChannel", {"encode", "io", "--action", "open"}, 1, "", "没有选择通道"},
        CliCase{"ChannelOutOfRange",
                {"encode", "io", "--action", "open", "--channels", "0,17"},
                1,
                "",
                "'0'"},
        CliCase{"ChannelMalformed",
                {"encode", "io", "--action", "open", "--channels", "1,,2"},
                1,
                "",
                "通道"},
        CliCase{"DelayMalformed", {"encode", "timer", "--delay", "1.5"}, 1, "", "1.5"},
        CliCase{"DelayTooBig", {"encode", "timer", "--delay", "65536"}, 1, "", "65536"},
        CliCase{"CountNegative", {"encode", "loop", "--count", "-1"}, 1, "", "-1"},
        CliCase{"EmptyPattern",
                {"encode", "trigger", "--action", "open", "--channels", "1"},
                1,
                "",
                "不能为空"},
        CliCase{"MalformedHexPattern",
                {"encode", "trigger", "--action", "open", "--channels", "1", "--pattern", "ABC",
                 "--hex"},
                1,
                "",
                "HEX"},
        CliCase{"HoldNotInteger",
                {"encode", "trigger", "--action", "open", "--channels", "1", "--pattern", "A",
                 "--hold", "x"},
                1,
                "",
                "'x' is not a valid integer value"},
        CliCase{"HoldTooBig",
                {"encode", "trigger", "--action", "open", "--channels", "1", "--pattern", "A",
                 "--hold", "4096"},
                1,
                "",
                "4095"},
        CliCase{"TooLong",
                {"encode", "trigger", "--action", "open", "--channels", "1", "--pattern",
                 std::string(125, 'a')},
                1,
                "",
                "串口反馈内容超过32字节 或 其和串口指令超过126字节！"},
        CliCase{"EmptyHexOutput",
                {"encode", "trigger", "--action", "open", "--channels", "1", "--pattern", "A",
                 "--output-mode", "2"},
                1,
                "",
                "HEX输出"},
        CliCase{"BadOutputMode",
                {"encode", "trigger", "--action", "open", "--channels", "1", "--pattern", "A",
                 "--output-mode", "4"},
                1,
                "",
                "'4'"},
        CliCase{"OutputWithoutMode",
                {"encode", "trigger", "--action", "open", "--channels", "1", "--pattern", "A",
                 "--output", "x"},
                1,
                "",
                "--output"},
        CliCase{"DescribeUnknown", {"describe", "05 00 01 06"}, 1, "", "05 00 01 06"},
        CliCase{"ListMissingFile", {"list", "/nonexistent/p.vyl"}, 1, "", "/nonexistent/p.vyl"},
        CliCase{
            "OptimiseMissingFile", {"optimise", "/nonexistent/p.vyl"}, 1, "", "/nonexistent/p.vyl"},
        // Usage errors: exit 2.
        CliCase{"NoCommand", {}, 2, "", "subcommand"},
        CliCase{"UnknownCommand", {"frobnicate"}, 2, "", "frobnicate"},
        CliCase{"UnknownOption", {"encode", "io", "--bogus"}, 2, "", "--bogus"},
        CliCase{"EncodeWithoutKind", {"encode"}, 2, "", "subcommand"},
        CliCase{"TimerWithoutDelay", {"encode", "timer"}, 2, "", "--delay"},
        CliCase{"DescribeWithoutText", {"describe"}, 2, "", "HEXTEXT"}),
    [](const auto& info) { return std::string(info.param.name); });

class RelayCliFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("relay_cli_test_" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  void Write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir;
};

TEST_F(RelayCliFiles, ListPrintsPositionListingHexAndCaption) {
  const fs::path file = dir / "p.vyl";
  Write(file, "02 80 01 83\r\n\n00 FF FF FE");
  const ProcessResult r = Cli({"list", file.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "1\t打开 -> 第 1 16 路\t02 80 01 83\n"
            "2\t\t\n"
            "3\t   <<<指令循环  一直维持\t00 FF FF FE\n"
            "指令清单（ 扇区容量 : 8 / 512 ）\n");
}

// Entries a write would refuse get a fourth column saying why; the others keep three.
TEST_F(RelayCliFiles, ListMarksTheEntriesAWriteRefuses) {
  const fs::path file = dir / "p.vyl";
  Write(file, "02 80 01\r\nFF FF FF\r\n04 00 01 05 FF\r\n02 80 01 83 00 FF FF FE\r\nFF FF FF\r\n");
  const ProcessResult r = Cli({"list", file.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "1\t打开 -> 第 1 16 路\t02 80 01\t不能写入：字节数与指令种类不符：第 1 "
            "个字节起的指令应有 4 个字节\n"
            "2\t无效指令\tFF FF FF\t不能写入：无效指令（FF 填充）在最后一条指令之前，"
            "控制器读到它就认为程序到此结束\n"
            "3\t    定时器 -> 100 毫秒\t04 00 01 05 FF\t不能写入：第 5 个字节是 FF，"
            "控制器读到 FF 就认为程序到此结束\n"
            "4\t打开 -> 第 1 16 路\t02 80 01 83 00 FF FF FE\n"
            "5\t无效指令\tFF FF FF\n"
            "指令清单（ 扇区容量 : 22 / 512 ）\n");
}

// Optimising in place replaces the file whole: through a link to its target, with
// the file's permissions, and with no temporary file left beside it.
TEST_F(RelayCliFiles, OptimiseInPlaceKeepsTheLinkAndThePermissions) {
  fs::create_directories(dir / "real");
  const fs::path target = dir / "real" / "p.vyl";
  Write(target, "00 00 03 03\r\n02 80 01 83\r\n");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const fs::path link = dir / "link.vyl";
  fs::create_symlink(target, link);
  const ProcessResult r = Cli({"optimise", link.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(Read(target), "02 80 01 83\r\n00 00 03 03\r\n");
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 1);
}

TEST_F(RelayCliFiles, ListOfAnEmptyFileShowsOnlyTheCaption) {
  const fs::path file = dir / "empty.vyl";
  Write(file, "");
  const ProcessResult r = Cli({"list", file.string()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "指令清单（ 扇区容量 : 0 / 512 ）\n");
}

TEST_F(RelayCliFiles, OptimiseRewritesTheFileOrWritesTheOutput) {
  const fs::path file = dir / "p.vyl";
  const std::string before = "00 00 03 03\r\n02 80 01 83\r\nFF FF FF\r\n04 00 01 05 \r\n";
  Write(file, before);

  const fs::path out = dir / "out.vyl";
  ProcessResult r = Cli({"optimise", file.string(), "-o", out.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Read(out), "02 80 01 83\r\n04 00 01 05\r\n00 00 03 03\r\n");
  EXPECT_EQ(Read(file), before);

  r = Cli({"optimise", file.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Read(file), "02 80 01 83\r\n04 00 01 05\r\n00 00 03 03\r\n");
}

TEST_F(RelayCliFiles, UnwritableOutputIsRefused) {
  const fs::path file = dir / "p.vyl";
  Write(file, "02 80 01 83\r\n");
  const ProcessResult r = Cli({"optimise", file.string(), "-o", (dir / "no" / "x.vyl").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("x.vyl"), std::string::npos) << r.err;
}

TEST_F(RelayCliFiles, TooLargeFileIsRefused) {
  const fs::path file = dir / "big.vyl";
  Write(file, std::string(1024 * 1024 + 1, '\n'));
  const ProcessResult r = Cli({"list", file.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("1 MiB"), std::string::npos) << r.err;
}

// A file whose lines are not all hex text is no program: it is neither listed as
// hundreds of "entries" nor rewritten by the optimiser.
TEST_F(RelayCliFiles, AFileThatIsNoProgramIsRefusedNamingTheLine) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37) & 0xFF);
  struct TCase {
    const char* name;
    std::string content;
    const char* line;
  };
  const TCase cases[] = {
      {"binary file", binary, "第 1 行"},
      {"bytes without blanks", "02 80 01 83\r\n0280 0183\r\n", "第 2 行"},
      {"a line of words", "02 80 01 83\r\n00 FF FF FE\r\nhello world\r\n", "第 3 行"},
      {"a byte with one digit", "02 80 01 8\r\n", "第 1 行"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir / "not-a-program.vyl";
    Write(file, c.content);
    for (const char* command : {"list", "optimise"}) {
      SCOPED_TRACE(command);
      const ProcessResult r = Cli({command, file.string()});
      EXPECT_EQ(r.exitCode, 1) << r.err;
      EXPECT_EQ(r.out, "");
      EXPECT_NE(r.err.find(c.line), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("不是指令的十六进制数据"), std::string::npos) << r.err;
      EXPECT_EQ(Read(file), c.content);
    }
  }
}

TEST_F(RelayCliFiles, ExampleProgramListsEveryEntryAndOptimises) {
  const fs::path example = fs::path(RELAY_EXAMPLES_DIR) / "demo.vyl";
  ProcessResult r = Cli({"list", example.string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Every line has a listing text, and the caption comes last.
  std::size_t lines = 0;
  std::size_t start = 0;
  std::string last;
  while (start < r.out.size()) {
    const std::size_t end = r.out.find('\n', start);
    last = r.out.substr(start, end - start);
    if (last.find('\t') != std::string::npos) {
      ++lines;
      EXPECT_NE(last.find('\t'), last.rfind('\t') - 1) << "empty listing: " << last;
    }
    start = end + 1;
  }
  EXPECT_GE(lines, 10u);
  EXPECT_EQ(last.rfind("指令清单（ 扇区容量 : ", 0), 0u) << last;

  const fs::path out = dir / "demo.vyl";
  r = Cli({"optimise", example.string(), "-o", out.string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string optimised = Read(out);
  EXPECT_EQ(optimised.find("FF FF FF"), std::string::npos);
  EXPECT_TRUE(optimised.ends_with("00 00 03 03\r\n")) << optimised;
}

// relay-cli, relay-sim and (when built) the desktop program print the project's
// version, with the commit when built from a git checkout; none needs a display.
TEST(ProgramVersions, EveryProgramPrintsTheSameVersion) {
  std::vector<std::pair<std::string, std::string>> programs = {{"relay-cli", RELAY_CLI_PATH},
                                                               {"relay-sim", RELAY_SIM_PATH}};
#ifdef RELAY_EDITOR_PATH
  programs.emplace_back("relay-editor", RELAY_EDITOR_PATH);
#endif
  std::string first;
  for (const auto& [name, path] : programs) {
    SCOPED_TRACE(name);
    const ProcessResult r = RunProcess(path, {"--version"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string prefix = name + " " RELAY_PROJECT_VERSION;
    ASSERT_EQ(r.out.rfind(prefix, 0), 0u) << r.out;
    const std::string rest = r.out.substr(prefix.size());
    EXPECT_TRUE(rest == "\n" || (rest.starts_with(" (git ") && rest.ends_with(")\n"))) << r.out;
    if (first.empty()) first = rest;
    EXPECT_EQ(rest, first);
  }
}

}  // namespace
}  // namespace relay::test
