#include "model/Optimiser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/ProgramList.h"

namespace relay::model {
namespace {

using Texts = std::vector<std::string>;

const std::string kShort = "FF FF FF";
const std::string kLong = "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF";

Texts Optimised(const Texts& before) {
  ProgramList list;
  list.AppendAll(before);
  Optimise(list);
  return list.HexTexts();
}

TEST(Optimise, LeavesOneLoopAtTheEndAndRemovesFillersAndBlanks) {
  struct Case {
    const char* name;
    Texts before;
    Texts after;
  };
  const Case cases[] = {
      {"empty list gets the end loop", {}, {"00 FF FF FE"}},
      {"last loop moves to the end",
       {"00 00 03 03", "02 80 01 83", "00 00 05 05", "04 00 01 05"},
       {"02 80 01 83", "04 00 01 05", "00 00 05 05"}},
      {"no loop gets the end loop", {"02 80 01 83"}, {"02 80 01 83", "00 FF FF FE"}},
      {"two fillers become the end loop", {kShort, kLong}, {"00 FF FF FE"}},
      {"fillers go, other entries stay",
       {kShort, "04 00 01 05", kLong, ""},
       {"04 00 01 05", "", "00 FF FF FE"}},
      {"trailing blanks stripped, bytes kept",
       {"85 00 01 05 00 00 00 01 02 8E ", "00 FF FF FE "},
       {"85 00 01 05 00 00 00 01 02 8E", "00 FF FF FE"}},
      {"several trailing blanks", {"02 80 01 83   ", "   "}, {"02 80 01 83", "", "00 FF FF FE"}},
      {"a filler read with a trailing blank goes too",
       {"FF FF FF ", "02 80 01 83"},
       {"02 80 01 83", "00 FF FF FE"}},
      {"any text beginning with 00 counts as a loop",
       {"00", "02 80 01 83", "00 zz"},
       {"02 80 01 83", "00 zz"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Texts once = Optimised(c.before);
    EXPECT_EQ(once, c.after);
    EXPECT_EQ(Optimised(once), once);
  }
}

TEST(Optimise, EndLoopListedAndCountedAndStripKeepsByteCount) {
  ProgramList list;
  Optimise(list);
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list.Entries()[0].listingText, "   <<<指令循环  一直维持");
  EXPECT_EQ(list.Entries()[0].position, 1);
  EXPECT_EQ(list.Total(), 4);

  ProgramList readBack;
  readBack.AppendAll({"85 00 01 05 00 00 00 01 02 8E ", "00 FF FF FE "});
  const int total = readBack.Total();
  Optimise(readBack);
  EXPECT_EQ(readBack.Total(), total);
}

TEST(Optimise, FullListStaysWithoutLoop) {
  ProgramList list;
  // 126 timers (504 bytes) and a 6-byte entry: 510 bytes.
  for (int i = 0; i < 126; ++i) ASSERT_TRUE(list.Store("04 00 01 05", StoreMode::Add));
  ASSERT_TRUE(list.Store("85 00 01 01 00 00", StoreMode::Add));
  ASSERT_EQ(list.Total(), 510);
  Optimise(list);
  EXPECT_EQ(list.Size(), 127u);
  EXPECT_EQ(list.Entries().back().hexText, "85 00 01 01 00 00");
  EXPECT_EQ(list.Total(), 510);
}

TEST(Optimise, RoomFreedByFillersAndBlanksTakesTheEndLoop) {
  struct Case {
    const char* name;
    Texts extra;  // after 126 timers (504 bytes)
    int total;
  };
  const Case cases[] = {
      {"a filler makes 510 bytes", {kShort, "85 00 01"}, 511},
      {"three trailing blanks count a byte", {"04 00 01 05   "}, 512},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Texts texts(126, "04 00 01 05");
    texts.insert(texts.end(), c.extra.begin(), c.extra.end());
    ProgramList list;
    list.AppendAll(texts);
    Optimise(list);
    EXPECT_EQ(list.Entries().back().hexText, "00 FF FF FE");
    EXPECT_EQ(list.Total(), c.total);
    const Texts once = list.HexTexts();
    Optimise(list);
    EXPECT_EQ(list.HexTexts(), once);
  }
}

TEST(Optimise, ListOverCapacityKeepsItsLoop) {
  // A loaded file beyond 512 bytes: the last loop still ends the list.
  Texts texts{"00 00 03 03"};
  for (int i = 0; i < 130; ++i) texts.push_back("04 00 01 05");
  ProgramList list;
  list.AppendAll(texts);
  Optimise(list);
  EXPECT_EQ(list.Size(), 131u);
  EXPECT_EQ(list.Entries().back().hexText, "00 00 03 03");
  EXPECT_EQ(list.Entries().back().position, 131);
}

TEST(Optimise, NotifiesOnceAndKeepsTheSelectedEntry) {
  ProgramList list;
  list.AppendAll({"00 00 03 03", "02 80 01 83", kShort, "04 00 01 05 "});
  list.Select(1);
  int calls = 0;
  list.SetChangeListener([&] { ++calls; });
  Optimise(list);
  EXPECT_EQ(calls, 1);
  ASSERT_NE(list.Selected(), nullptr);
  EXPECT_EQ(list.Selected()->hexText, "02 80 01 83");
}

}  // namespace
}  // namespace relay::model
