#include "model/ProjectFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/ProgramList.h"

namespace relay::model {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

TEST(ParseProjectText, LineRules) {
  struct Case {
    const char* name;
    std::string content;
    Lines lines;
  };
  const Case cases[] = {
      {"CR LF", "02 80 01 83\r\n00 FF FF FE\r\n", {"02 80 01 83", "00 FF FF FE"}},
      {"LF", "02 80 01 83\n00 FF FF FE\n", {"02 80 01 83", "00 FF FF FE"}},
      {"CR", "02 80 01 83\r00 FF FF FE\r", {"02 80 01 83", "00 FF FF FE"}},
      {"last line without break", "02 80 01 83\r\n00 FF FF FE", {"02 80 01 83", "00 FF FF FE"}},
      {"empty line kept", "02 80 01 83\r\n\r\n00 FF FF FE\r\n", {"02 80 01 83", "", "00 FF FF FE"}},
      {"LF CR is two breaks", "A\n\rB", {"A", "", "B"}},
      {"CR CR LF", "A\r\r\nB", {"A", "", "B"}},
      {"only a break", "\r\n", {""}},
      {"empty file", "", {}},
      {"trailing blank kept",
       "85 00 01 05 00 00 00 01 02 8E \r\n",
       {"85 00 01 05 00 00 00 01 02 8E "}},
      {"GBK text becomes UTF-8", "\xD6\xD0\r\n", {"中"}},
      {"invalid GBK kept as private characters", "A\xFF\nB", {"A\xEF\x9F\xBF", "B"}},
      {"binary bytes", std::string("\0\x01\r\n", 4), {std::string("\0\x01", 2)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ParseProjectText(c.content), c.lines);
  }
}

TEST(FormatProjectText, EveryLineEndsInCrLfAsGbk) {
  EXPECT_EQ(FormatProjectText({"02 80 01 83", "00 FF FF FE"}), "02 80 01 83\r\n00 FF FF FE\r\n");
  EXPECT_EQ(FormatProjectText({}), "");
  EXPECT_EQ(FormatProjectText({""}), "\r\n");
  EXPECT_EQ(FormatProjectText({"中 "}), "\xD6\xD0 \r\n");
}

class ProjectFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("relay_model_test_" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  void WriteRaw(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
  }
  std::string ReadRaw(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir;
};

TEST_F(ProjectFileTest, SaveAndLoadGiveTheSameTexts) {
  ProgramList list;
  list.AppendAll({"02 80 01 83", "", "85 00 01 05 00 00 00 01 02 8E ", "FF FF FF"});
  const fs::path path = dir / "p.vyl";
  ASSERT_TRUE(SaveProjectFile(path, list));
  EXPECT_EQ(ReadRaw(path), "02 80 01 83\r\n\r\n85 00 01 05 00 00 00 01 02 8E \r\nFF FF FF\r\n");

  ProgramList loaded;
  loaded.Append("04 00 01 05");  // loading appends
  ASSERT_TRUE(LoadProjectFile(path, loaded));
  EXPECT_EQ(loaded.HexTexts(), (Lines{"04 00 01 05", "02 80 01 83", "",
                                      "85 00 01 05 00 00 00 01 02 8E ", "FF FF FF"}));
  EXPECT_EQ(loaded.Entries()[1].listingText, "打开 -> 第 1 16 路");
  EXPECT_EQ(loaded.Entries()[2].listingText, "");
  EXPECT_EQ(loaded.Entries()[4].listingText, "无效指令");
  EXPECT_EQ(loaded.Entries()[4].position, 5);
  EXPECT_EQ(loaded.Total(), 4 + 4 + 0 + 10 + 3);
}

// A line that is no Instruction counts its characters as the file holds them (GBK), as
// every hex text does: a Chinese character is two of them, an undecodable byte one.
TEST_F(ProjectFileTest, LinesOfOtherTextCountTheirFileBytes) {
  const fs::path path = dir / "text.vyl";
  WriteRaw(path, "\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4\r\n\xFF\xFF\xFF\xFF\xFF\r\n02 80 01 83\r\n");
  ProgramList list;
  ASSERT_TRUE(LoadProjectFile(path, list));
  ASSERT_EQ(list.Size(), 3u);
  EXPECT_EQ(list.Entries()[0].hexText, "中文中文");
  // 8 bytes: (8 + 1) / 3 = 3; 5 bytes: 2; the IO action 4.
  EXPECT_EQ(list.Total(), 3 + 2 + 4);
  EXPECT_EQ(list.CapacityCaption(), "指令清单（ 扇区容量 : 9 / 512 ）");
}

// Loading and saving again must not change a byte, even of lines that are no
// GBK text.
TEST_F(ProjectFileTest, LoadAndSaveKeepEveryByte) {
  const std::string content = "02 80 01 83\r\n\xFF\x81 \xD6\xD0\x80\r\n\xD6\r\n";
  const fs::path in = dir / "in.vyl";
  const fs::path out = dir / "out.vyl";
  WriteRaw(in, content);
  ProgramList list;
  ASSERT_TRUE(LoadProjectFile(in, list));
  ASSERT_TRUE(SaveProjectFile(out, list));
  EXPECT_EQ(ReadRaw(out), content);
}

TEST_F(ProjectFileTest, EmptyListGivesAnEmptyFile) {
  const fs::path path = dir / "empty.vyl";
  ASSERT_TRUE(SaveProjectFile(path, ProgramList()));
  EXPECT_EQ(fs::file_size(path), 0u);
  ProgramList list;
  ASSERT_TRUE(LoadProjectFile(path, list));
  EXPECT_TRUE(list.Empty());
}

TEST_F(ProjectFileTest, LoadIsNotBoundedByCapacity) {
  std::string content;
  for (int i = 0; i < 130; ++i) content += "04 00 01 05\r\n";
  const fs::path path = dir / "big.vyl";
  WriteRaw(path, content);
  ProgramList list;
  ASSERT_TRUE(LoadProjectFile(path, list));
  EXPECT_EQ(list.Size(), 130u);
  EXPECT_EQ(list.CapacityCaption(), "指令清单（ 扇区容量 : 520 / 512 ）");
}

TEST_F(ProjectFileTest, ExistingFileIsReplaced) {
  const fs::path path = dir / "old.vyl";
  WriteRaw(path, std::string(5000, 'x'));
  ASSERT_TRUE(WriteProjectFile(path, {"00 FF FF FE"}));
  EXPECT_EQ(ReadRaw(path), "00 FF FF FE\r\n");
}

TEST_F(ProjectFileTest, RefusalsNameTheFileAndLeaveTheListAlone) {
  const fs::path tooBig = dir / "huge.vyl";
  WriteRaw(tooBig, std::string(kMaxProjectFileSize + 1, '\n'));
  const fs::path justFits = dir / "fits.vyl";
  WriteRaw(justFits, std::string(kMaxProjectFileSize, '\n'));
  const fs::path fifo = dir / "pipe.vyl";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  struct Case {
    const char* name;
    fs::path path;
    std::string mentions;
  };
  const Case cases[] = {
      {"missing", dir / "missing.vyl", "missing.vyl"},
      {"folder", dir, dir.filename().string()},
      {"larger than 1 MiB", tooBig, "1 MiB"},
      {"a pipe", fifo, "not a regular file"},
      {"a device", "/dev/zero", "not a regular file"},
      {"empty path", fs::path(), "No project file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramList list;
    list.Append("04 00 01 05");
    const FileResult result = LoadProjectFile(c.path, list);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find(c.mentions), std::string::npos) << result.message;
    EXPECT_EQ(list.Size(), 1u);
  }
  ProgramList list;
  EXPECT_TRUE(LoadProjectFile(justFits, list));
  EXPECT_EQ(list.Size(), kMaxProjectFileSize);
}

TEST_F(ProjectFileTest, WriteFailureIsReported) {
  const FileResult result = WriteProjectFile(dir / "no" / "such" / "dir.vyl", {"00 FF FF FE"});
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.message.find("dir.vyl"), std::string::npos);
  EXPECT_FALSE(WriteProjectFile(dir, {"00"}).ok);  // a folder
}

}  // namespace
}  // namespace relay::model
