#include "model/ProgramList.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/ListSetup.h"

namespace relay::model {
namespace {

constexpr std::string_view kFour = "04 00 01 05";

// A 4-byte Instruction numbered i, to tell entries apart.
std::string Timer(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "04 00 %02X 00", i & 0xFF);
  return text;
}

std::vector<std::string> Texts(const ProgramList& list) { return list.HexTexts(); }

class ProgramListTest : public ::testing::Test {
 protected:
  void Fill(int count) {
    for (int i = 0; i < count; ++i) ASSERT_TRUE(list.Store(Timer(i), StoreMode::Add));
  }
  void ExpectPositions() {
    for (std::size_t i = 0; i < list.Size(); ++i)
      EXPECT_EQ(list.Entries()[i].position, static_cast<int>(i + 1));
  }
  ProgramList list;
};

TEST_F(ProgramListTest, AddComputesListingTextAndCaption) {
  EXPECT_EQ(list.CapacityCaption(), "指令清单（ 扇区容量 : 0 / 512 ）");
  ASSERT_TRUE(list.Store("02 80 01 83", StoreMode::Add));
  ASSERT_TRUE(list.Store("00 FF FF FE", 0));
  ASSERT_EQ(list.Size(), 2u);
  EXPECT_EQ(list.Entries()[0].listingText, "打开 -> 第 1 16 路");
  EXPECT_EQ(list.Entries()[1].listingText, "   <<<指令循环  一直维持");
  EXPECT_EQ(list.Total(), 8);
  EXPECT_EQ(list.CapacityCaption(), "指令清单（ 扇区容量 : 8 / 512 ）");
  EXPECT_EQ(CapacityCaption(8), list.CapacityCaption());
  EXPECT_EQ(list.Selection(), std::nullopt);  // Store does not select
  ExpectPositions();
}

TEST_F(ProgramListTest, CapacityBoundsAddAndInsert) {
  Fill(127);  // 508 bytes
  list.Select(0);
  EXPECT_FALSE(list.Store("85 00 01 05 00 00 00 01 8B", StoreMode::Add));  // 9 bytes would make 517
  ASSERT_TRUE(list.Store(kFour, StoreMode::Add));
  EXPECT_EQ(list.Total(), 512);
  EXPECT_FALSE(list.Store(kFour, StoreMode::Add));
  EXPECT_FALSE(list.Store(kFour, StoreMode::InsertAbove));
  EXPECT_FALSE(list.Store(kFour, StoreMode::InsertBelow));
  EXPECT_EQ(list.Size(), 128u);
  EXPECT_EQ(list.Total(), 512);
}

TEST_F(ProgramListTest, EightByteTriggerRefusedAt505) {
  ASSERT_TRUE(list.Store("85 00 01 02 00 00 00 88", StoreMode::Add));  // a 8-byte entry
  for (int i = 0; i < 124; ++i) ASSERT_TRUE(list.Store(Timer(i), StoreMode::Add));
  ASSERT_TRUE(list.Store("85", StoreMode::Add));  // 1 byte: total 505
  ASSERT_EQ(list.Total(), 505);
  EXPECT_FALSE(list.Store("85 00 01 03 00 00 00 89", StoreMode::Add));
  EXPECT_TRUE(list.Store("85 00 01 02 00 00 88", StoreMode::Add));  // 7 bytes fit exactly
  EXPECT_EQ(list.Total(), 512);
}

TEST_F(ProgramListTest, ChangeReplacesTheSelectionWithoutCapacityTest) {
  Fill(128);
  list.Select(3);
  const std::string trigger =
      "85 00 01 0F 00 00 00 01 02 03 04 05 06 07 08 09 0A 0B 0C C4";  // 20 bytes
  ASSERT_TRUE(list.Store(trigger, StoreMode::Change));
  EXPECT_EQ(list.Entries()[3].hexText, trigger);
  EXPECT_FALSE(list.Entries()[3].listingText.empty());
  EXPECT_EQ(list.Total(), 528);
  EXPECT_EQ(list.CapacityCaption(), "指令清单（ 扇区容量 : 528 / 512 ）");
  EXPECT_EQ(list.Selection(), 3u);
}

TEST_F(ProgramListTest, InsertAboveAndBelowKeepTheSelection) {
  Fill(3);
  list.Select(0);
  ASSERT_TRUE(list.Store("02 80 01 83", StoreMode::InsertAbove));
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"02 80 01 83", Timer(0), Timer(1), Timer(2)}));
  EXPECT_EQ(list.Selection(), 1u);
  EXPECT_EQ(list.Selected()->hexText, Timer(0));
  list.Select(3);
  ASSERT_TRUE(list.Store("00 FF FF FE", StoreMode::InsertBelow));
  EXPECT_EQ(list.Entries().back().hexText, "00 FF FF FE");
  EXPECT_EQ(list.Selection(), 3u);
  ExpectPositions();
}

TEST_F(ProgramListTest, FailuresChangeNothing) {
  struct Case {
    const char* name;
    std::string text;
    int mode;
  };
  const Case cases[] = {
      {"empty text", "", 0},
      {"change without selection", std::string(kFour), 1},
      {"above without selection", std::string(kFour), 2},
      {"below without selection", std::string(kFour), 3},
      {"unknown mode", std::string(kFour), 4},
      {"negative mode", std::string(kFour), -1},
  };
  Fill(2);
  int calls = 0;
  list.SetChangeListener([&] { ++calls; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(list.Store(c.text, c.mode));
    EXPECT_EQ(Texts(list), (std::vector<std::string>{Timer(0), Timer(1)}));
  }
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(list.Store(kFour, 0));  // add needs no selection
  EXPECT_EQ(calls, 1);
}

TEST_F(ProgramListTest, MoveSwapsWithTheNeighbourAndFollowsTheEntry) {
  Fill(4);
  list.Select(2);
  list.MoveUp();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{Timer(0), Timer(2), Timer(1), Timer(3)}));
  EXPECT_EQ(list.Selection(), 1u);
  ExpectPositions();
  list.MoveDown();
  list.MoveDown();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{Timer(0), Timer(1), Timer(3), Timer(2)}));
  EXPECT_EQ(list.Selection(), 3u);
  list.MoveDown();  // already last
  EXPECT_EQ(list.Selection(), 3u);
  list.Select(0);
  list.MoveUp();  // already first
  EXPECT_EQ(Texts(list), (std::vector<std::string>{Timer(0), Timer(1), Timer(3), Timer(2)}));
  list.Select(std::nullopt);
  list.MoveUp();
  list.MoveDown();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{Timer(0), Timer(1), Timer(3), Timer(2)}));
}

TEST_F(ProgramListTest, DeleteSelectsTheEntryAbove) {
  Fill(3);
  list.Select(0);
  list.DeleteSelected();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{Timer(1), Timer(2)}));
  EXPECT_EQ(list.Selection(), 0u);
  list.Select(1);
  list.DeleteSelected();
  EXPECT_EQ(list.Selection(), 0u);
  list.DeleteSelected();
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(list.Selection(), std::nullopt);
  EXPECT_EQ(list.Total(), 0);
  list.DeleteSelected();  // nothing selected: nothing happens
  EXPECT_TRUE(list.Empty());
}

TEST_F(ProgramListTest, ClearEmptiesAndDeselects) {
  Fill(5);
  list.Select(2);
  list.Clear();
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(list.Selection(), std::nullopt);
  EXPECT_EQ(list.CapacityCaption(), "指令清单（ 扇区容量 : 0 / 512 ）");
}

TEST_F(ProgramListTest, TrimDeletesFromTheEndDownToCapacity) {
  std::vector<std::string> texts;
  for (int i = 0; i < 130; ++i) texts.push_back(Timer(i));
  list.AppendAll(texts);  // 520 bytes, loaded beyond capacity
  EXPECT_EQ(list.Total(), 520);
  list.Select(129);
  list.TrimToCapacity();
  EXPECT_EQ(list.Size(), 128u);
  EXPECT_EQ(list.Total(), 512);
  EXPECT_EQ(list.Entries().back().hexText, Timer(127));
  EXPECT_EQ(list.Selection(), std::nullopt);
  list.TrimToCapacity();
  EXPECT_EQ(list.Size(), 128u);
}

// A 1 MiB file of short lines: about 200,000 entries, nearly all beyond the capacity.
// Trimming them one renumbering at a time took minutes; in one pass it takes
// milliseconds, far inside the test's time-out.
TEST_F(ProgramListTest, TrimOfAHugeListIsOnePass) {
  const std::vector<std::string> texts(200'000, "0 0");  // 1 byte each by the length rule
  list.AppendAll(texts);
  list.AppendAll({"04 00 01 05"});
  list.Select(100);
  EXPECT_EQ(list.Total(), 200'004);
  list.TrimToCapacity();
  EXPECT_EQ(list.Size(), 512u);
  EXPECT_EQ(list.Total(), 512);
  EXPECT_EQ(list.Selection(), std::optional<std::size_t>(100));
  EXPECT_EQ(list.Entries().back().position, 512);
}

TEST_F(ProgramListTest, SelectionFollowsItsEntryThroughDeletions) {
  Fill(5);
  list.Select(3);
  list.DeleteAt(1);
  EXPECT_EQ(list.Selected()->hexText, Timer(3));
  list.RemoveIf(
      [](const ProgramEntry& e) { return e.hexText == Timer(0) || e.hexText == Timer(4); });
  EXPECT_EQ(Texts(list), (std::vector<std::string>{Timer(2), Timer(3)}));
  EXPECT_EQ(list.Selected()->hexText, Timer(3));
  ExpectPositions();
  list.DeleteAt(1);
  EXPECT_EQ(list.Selection(), std::nullopt);
  list.Select(7);
  EXPECT_EQ(list.Selection(), std::nullopt);
  list.DeleteAt(99);
  EXPECT_EQ(list.Size(), 1u);
}

TEST_F(ProgramListTest, ReplaceHexTextKeepsTheListingText) {
  list.Append("02 80 01 83 ");
  const std::string listing = list.Entries()[0].listingText;
  list.ReplaceHexText(0, "02 80 01 83");
  EXPECT_EQ(list.Entries()[0].hexText, "02 80 01 83");
  EXPECT_EQ(list.Entries()[0].listingText, listing);
  EXPECT_EQ(list.Total(), 4);
}

TEST_F(ProgramListTest, ListenerCalledOncePerOperationAndBatched) {
  int calls = 0;
  list.SetChangeListener([&] { ++calls; });
  list.AppendAll({Timer(0), Timer(1), Timer(2)});
  EXPECT_EQ(calls, 1);
  list.Select(1);
  list.MoveUp();
  EXPECT_EQ(calls, 3);
  list.BeginUpdate();
  list.DeleteAt(0);
  list.DeleteAt(0);
  list.BeginUpdate();
  list.Append(Timer(9));
  list.EndUpdate();
  EXPECT_EQ(calls, 3);
  list.EndUpdate();
  EXPECT_EQ(calls, 4);
  list.EndUpdate();  // unmatched: harmless
  list.BeginUpdate();
  list.EndUpdate();  // nothing changed: no call
  EXPECT_EQ(calls, 4);
}

}  // namespace
}  // namespace relay::model

namespace relay::model {
namespace {

// Every operation that changes the entries marks the program modified; the
// selection alone and operations that change nothing do not.
TEST(ProgramListModified, SetByEveryChangeOfTheEntries) {
  struct Case {
    const char* name;
    std::function<void(ProgramList&)> operation;
    bool modifies;
  } const cases[] = {
      {"add", [](ProgramList& l) { l.Store("04 00 01 05", StoreMode::Add); }, true},
      {"change", [](ProgramList& l) { l.Store("04 00 02 06", StoreMode::Change); }, true},
      {"insert above", [](ProgramList& l) { l.Store("04 00 02 06", StoreMode::InsertAbove); },
       true},
      {"refused store", [](ProgramList& l) { l.Store("", StoreMode::Add); }, false},
      {"append", [](ProgramList& l) { l.Append("FF FF FF"); }, true},
      {"move up", [](ProgramList& l) { l.MoveUp(); }, true},
      {"move down at the end", [](ProgramList& l) { l.MoveDown(); }, false},
      {"delete", [](ProgramList& l) { l.DeleteSelected(); }, true},
      {"clear", [](ProgramList& l) { l.Clear(); }, true},
      {"trim within capacity", [](ProgramList& l) { l.TrimToCapacity(); }, false},
      {"replace text", [](ProgramList& l) { l.ReplaceHexText(0, "01 00 01 02"); }, true},
      {"remove none", [](ProgramList& l) { l.RemoveIf([](const ProgramEntry&) { return false; }); },
       false},
      {"select", [](ProgramList& l) { l.Select(0); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramList list;
    list.AppendAll({"02 80 01 83", "00 FF FF FE"});
    list.Select(1);
    list.SetModified(false);
    c.operation(list);
    EXPECT_EQ(list.Modified(), c.modifies);
  }
  ProgramList empty;
  empty.Clear();
  EXPECT_FALSE(empty.Modified()) << "clearing an empty list changes nothing";
}

}  // namespace
}  // namespace relay::model
