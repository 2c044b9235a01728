// Only whole Instructions reach the controller: each entry is walked as the
// controller walks its sector, and a filler before the last Instruction is
// refused as well.

#include "device/ProgramCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/DeviceImage.h"
#include "model/HexText.h"
#include "model/InstructionWalk.h"

namespace relay::device {
namespace {

using model::WalkEnd;

TEST(WalkEntry, EndsWhereTheKindBytesSay) {
  struct Case {
    const char* name;
    const char* hex;
    WalkEnd end;
    std::size_t offset;        // where the walk stopped
    std::size_t needed;        // bytes the cut Instruction takes
    std::size_t instructions;  // whole ones before that
  };
  const Case cases[] = {
      {"no bytes", "", WalkEnd::Whole, 0, 0, 0},
      {"an IO action", "02 80 01 83", WalkEnd::Whole, 4, 0, 1},
      {"a serial trigger", "86 00 02 87 C2 00 32 0A 0B 41 42 9B", WalkEnd::Whole, 12, 0, 1},
      {"read back with its blank", "85 00 01 05 00 00 00 01 02 8E ", WalkEnd::Whole, 10, 0, 1},
      {"two whole Instructions", "02 80 01 83 00 FF FF FE", WalkEnd::Whole, 8, 0, 2},
      {"the check byte missing", "02 80 01", WalkEnd::Cut, 0, 4, 0},
      {"one byte too many", "04 00 01 05 06", WalkEnd::Cut, 4, 4, 1},
      {"a trigger one byte short", "85 00 01 05 00 00 00 01 02", WalkEnd::Cut, 0, 10, 0},
      {"a trigger without its length byte", "86 00 02", WalkEnd::Cut, 0, 0, 0},
      {"a trigger whose length byte says more", "87 01 00 05 20 00 00 AA 56", WalkEnd::Cut, 0, 10,
       0},
      {"an ASCII trigger counts bits 0-6 only", "86 00 02 85 00 00 00 41 42 50", WalkEnd::Whole, 10,
       0, 1},
      {"FF where an Instruction starts", "04 00 01 05 FF FF FF", WalkEnd::EndInside, 4, 0, 1},
      {"FF first", "FF 00 01 02", WalkEnd::EndInside, 0, 0, 0},
      {"FF inside an Instruction is data", "02 FF FF 00", WalkEnd::Whole, 4, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const model::EntryWalk walk = model::WalkEntry(model::HexTextToBytes(c.hex));
    EXPECT_EQ(walk.end, c.end);
    EXPECT_EQ(walk.offset, c.offset);
    EXPECT_EQ(walk.needed, c.needed);
    EXPECT_EQ(walk.instructions, c.instructions);
  }
}

TEST(ProgramProblems, NameEveryEntryAWriteWouldShift) {
  struct Case {
    const char* name;
    std::vector<std::string> program;
    std::vector<std::size_t> refused;  // indices
    std::vector<EntryFault> faults;
  };
  const Case cases[] = {
      {"whole program",
       {"02 80 01 83", "86 00 02 87 C2 00 32 0A 0B 41 42 9B ", "", "00 FF FF FE"},
       {},
       {}},
      {"a filler after the last Instruction", {"02 80 01 83", "FF FF FF"}, {}, {}},
      {"fillers only", {"FF FF FF", "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF"}, {}, {}},
      {"a filler before the last Instruction",
       {"02 80 01 83", "FF FF FF", "00 FF FF FE", "FF FF FF"},
       {1},
       {EntryFault::FillerBeforeEnd}},
      {"a filler before an empty line only", {"02 80 01 83", "FF FF FF", ""}, {}, {}},
      {"the check byte missing",
       {"04 00 01 05", "02 80 01", "00 FF FF FE"},
       {1},
       {EntryFault::Cut}},
      {"FF inside and no hex text",
       {"04 00 01 05 FF", "0280 0183", "FF FF"},
       {0, 1, 2},
       {EntryFault::EndInside, EntryFault::NotHexText, EntryFault::EndInside}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<EntryProblem> problems = ProgramProblems(c.program);
    ASSERT_EQ(problems.size(), c.refused.size());
    for (std::size_t i = 0; i < problems.size(); ++i) {
      EXPECT_EQ(problems[i].index, c.refused[i]);
      EXPECT_EQ(problems[i].fault, c.faults[i]);
    }
    EXPECT_EQ(FirstProgramProblem(c.program).has_value(), !c.refused.empty());
    // What is refused is what would walk differently on the controller: the image of
    // a whole program is taken apart into its Instructions again.
    if (c.refused.empty()) {
      const auto back = TakeDeviceImageApart(BuildDeviceImage(c.program));
      ASSERT_TRUE(back.has_value());
      std::size_t instructions = 0;
      for (const std::string& entry : c.program)
        if (!entry.starts_with("FF"))
          instructions += model::WalkEntry(model::HexTextToBytes(entry)).instructions;
      EXPECT_EQ(back->size(), instructions);
    }
  }
}

TEST(ProgramProblems, TheMessagesNameTheEntryAndTheWayOut) {
  const std::vector<std::string> program = {"02 80 01 83", "02 80 01", "FF FF FF", "04 00 01 05 FF",
                                            "00 FF FF FE"};
  const std::vector<EntryProblem> problems = ProgramProblems(program);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_EQ(ProblemMessage(problems[0]),
            "第 2 条指令的字节数与指令种类不符：第 1 个字节起的指令应有 4 个字节，"
            "写入会使后面的指令错位。没有写入任何数据！");
  EXPECT_EQ(ProblemMessage(problems[1]),
            "第 3 条是无效指令（FF 填充）在最后一条指令之前，控制器读到它就认为程序到此结束，"
            "后面的指令不会执行。“优化指令”会删除无效指令。没有写入任何数据！");
  EXPECT_EQ(ProblemMessage(problems[2]),
            "第 4 条指令的第 5 个字节是 FF，控制器读到 FF 就认为程序到此结束，"
            "后面的指令不会执行。没有写入任何数据！");
}

}  // namespace
}  // namespace relay::device
