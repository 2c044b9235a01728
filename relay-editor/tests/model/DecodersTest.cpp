#include "ChannelList.h"
#include "model/Decoders.h"

#include <gtest/gtest.h>

#include <string>

#include "model/EditorChoice.h"
#include "model/Encoders.h"

namespace relay::model {
namespace {

TEST(DecodeFourByte, FillsTheFieldsOfItsKind) {
  IoActionFields io;
  ASSERT_TRUE(DecodeIoAction("02 80 01 83", io));
  EXPECT_EQ(io.channels, Channels({1, 16}));
  EXPECT_EQ(io.action, Action::Open);
  ASSERT_TRUE(DecodeIoAction("03 00 02 05", io));
  EXPECT_EQ(io.channels, Channels({2}));  // boxes are cleared as well as ticked
  EXPECT_EQ(io.action, Action::Toggle);
  ASSERT_TRUE(DecodeIoAction("01 00 00 01", io));
  EXPECT_EQ(io.action, Action::Close);

  TimerFields timer;
  ASSERT_TRUE(DecodeTimer("04 00 01 05", timer));
  EXPECT_EQ(timer.value, 1);
  ASSERT_TRUE(DecodeTimer("04 FF FF 02", timer));
  EXPECT_EQ(timer.value, 65535);

  LoopFields loop;
  ASSERT_TRUE(DecodeLoop("00 FF FF FE", loop));
  EXPECT_EQ(loop.value, 65535);
  ASSERT_TRUE(DecodeLoop("00 00 03 03 ", loop));
  EXPECT_EQ(loop.value, 3);
}

TEST(Decoders, TextOfAnotherKindLeavesTheFieldsAsTheyWere) {
  const IoActionFields ioBefore{Channels({3, 4}), Action::Close};
  const TimerFields timerBefore{77};
  const LoopFields loopBefore{5};
  SerialTriggerFields triggerBefore;
  triggerBefore.pattern = "keep";
  triggerBefore.hold = "12";
  const std::string texts[] = {
      "",
      "04",
      "04 00 0",
      "05 00 01 06",
      "FF FF FF",
      "zz zz zz zz",
      "84 00 01 05 00 00 00 01 02 8E",
      "8B 00 01 05 00 00 00 01 02 8E",
      "85 00 01 0",
      "\xFF\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    IoActionFields io = ioBefore;
    TimerFields timer = timerBefore;
    LoopFields loop = loopBefore;
    SerialTriggerFields trigger = triggerBefore;
    EXPECT_FALSE(DecodeIoAction(text, io));
    EXPECT_FALSE(DecodeTimer(text, timer));
    EXPECT_FALSE(DecodeLoop(text, loop));
    EXPECT_FALSE(DecodeSerialTrigger(text, trigger));
    EXPECT_EQ(io.channels, ioBefore.channels);
    EXPECT_EQ(io.action, ioBefore.action);
    EXPECT_EQ(timer.value, 77);
    EXPECT_EQ(loop.value, 5);
    EXPECT_EQ(trigger.pattern, "keep");
    EXPECT_EQ(trigger.hold, "12");
    EXPECT_EQ(EditorForEntry(text), std::nullopt);
  }
  IoActionFields io = ioBefore;
  EXPECT_FALSE(DecodeIoAction("04 00 01 05", io));
  EXPECT_EQ(io.channels, ioBefore.channels);
}

struct TriggerDecodeCase {
  const char* name;
  std::string hexText;
  ChannelSet channels;
  Action action;
  std::string hold;
  int outputMode;
  std::string output;
  bool patternIsHex;
  std::string pattern;
};

void PrintTo(const TriggerDecodeCase& c, std::ostream* os) { *os << c.name; }

class DecodeSerialTriggerCases : public ::testing::TestWithParam<TriggerDecodeCase> {};

TEST_P(DecodeSerialTriggerCases, FillsEveryField) {
  const TriggerDecodeCase& c = GetParam();
  SerialTriggerFields fields;
  fields.action = Action::Open;  // kept for kinds 0x88 to 0x8A
  fields.output = "old";
  ASSERT_TRUE(DecodeSerialTrigger(c.hexText, fields));
  EXPECT_EQ(fields.channels, c.channels);
  EXPECT_EQ(fields.action, c.action);
  EXPECT_EQ(fields.hold, c.hold);
  EXPECT_EQ(fields.outputMode, c.outputMode);
  EXPECT_EQ(fields.output, c.output);
  EXPECT_EQ(fields.patternIsHex, c.patternIsHex);
  EXPECT_EQ(fields.pattern, c.pattern);
  EXPECT_EQ(EditorForEntry(c.hexText), EditorKind::SerialTrigger);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeSerialTriggerCases,
    ::testing::Values(
        TriggerDecodeCase{"SameCode", "87 01 00 04 20 00 00 AA 56", Channels({9}), Action::Toggle,
                          "0", 1, "", true, "AA"},
        TriggerDecodeCase{"HexOutputAsciiPattern", "86 00 02 87 C2 00 32 0A 0B 41 42 9B",
                          Channels({2}), Action::Open, "50", 2, "0A 0B", false, "AB"},
        TriggerDecodeCase{"HexPatternLowerCaseKept", "85 00 01 05 00 00 00 aa 0b 40", Channels({1}),
                          Action::Close, "0", 0, "", true, "aa 0b"},
        TriggerDecodeCase{"ChineseAsciiOutputAndPattern", "86 00 01 87 62 00 00 4F 4B D6 D0 B0",
                          Channels({1}), Action::Open, "0", 3, "OK", false, "中"},
        TriggerDecodeCase{"ReadBackWithTrailingBlank", "85 00 01 05 00 00 00 01 02 8E ",
                          Channels({1}), Action::Close, "0", 0, "", true, "01 02"},
        TriggerDecodeCase{"HoldBitClearShowsZero", "85 00 01 04 00 00 07 01 92", Channels({1}),
                          Action::Close, "0", 0, "", true, "01"},
        TriggerDecodeCase{"HoldAbove4095ShownAsItIs", "85 00 01 04 80 FF FF 01 09", Channels({1}),
                          Action::Close, "65535", 0, "", true, "01"},
        TriggerDecodeCase{"KindWithoutActionKeepsAction", "88 00 03 04 00 00 00 01 90",
                          Channels({1, 2}), Action::Open, "0", 0, "", true, "01"},
        // An ASCII pattern whose bytes are no GBK text comes back as HEX so
        // that storing it again keeps the bytes.
        TriggerDecodeCase{"AsciiPatternNotGbk", "85 00 01 84 00 00 00 FF 09", Channels({1}),
                          Action::Close, "0", 0, "", true, "FF"},
        TriggerDecodeCase{"AsciiOutputNotGbkBecomesHexOutput", "85 00 01 85 61 00 00 FF 41 AC",
                          Channels({1}), Action::Close, "0", 2, "FF", false, "A"},
        // Truncated or lying texts give what is there.
        TriggerDecodeCase{"LengthByteClaimsMore", "85 00 01 7F 00 00 00 01 02", Channels({1}),
                          Action::Close, "0", 0, "", true, "01 02"},
        TriggerDecodeCase{"OutputCountClaimsMore", "86 00 01 05 5F 00 00 0A", Channels({1}),
                          Action::Open, "0", 2, "0A", true, ""},
        TriggerDecodeCase{"OnlyFourBytes", "85 00 01 05", Channels({1}), Action::Close, "0", 0, "",
                          true, ""},
        TriggerDecodeCase{"PatternCountNegative", "85 00 01 03 05 00 00 01 02 03 04 05 06",
                          Channels({1}), Action::Close, "0", 0, "", true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeSerialTrigger, EncodingTheDecodedFieldsGivesTheSameText) {
  const std::string texts[] = {
      "85 00 01 05 00 00 00 01 02 8E", "86 00 02 87 C2 00 32 0A 0B 41 42 9B",
      "87 01 00 04 20 00 00 AA 56",    "86 00 01 87 62 00 00 4F 4B D6 D0 B0",
      "85 00 01 85 00 00 00 41 42 8E",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    SerialTriggerFields fields;
    ASSERT_TRUE(DecodeSerialTrigger(text, fields));
    EXPECT_EQ(EncodeSerialTrigger(fields).hexText, text);
  }
}

TEST(DecodeSerialTrigger, NotGbkBytesKeepTheirValuesWhenStoredAgain) {
  SerialTriggerFields fields;
  ASSERT_TRUE(DecodeSerialTrigger("85 00 01 85 61 00 00 FF 41 AC", fields));
  const Encoded again = EncodeSerialTrigger(fields);
  ASSERT_TRUE(again.ok()) << again.message;
  // Same bytes on the device: output FF, pattern 41; only the output mode
  // says HEX now.
  EXPECT_EQ(again.hexText, "85 00 01 85 41 00 00 FF 41 8C");
}

TEST(EditorForEntry, PicksTheEditorOfTheKind) {
  EXPECT_EQ(EditorForEntry("02 80 01 83"), EditorKind::IoAction);
  EXPECT_EQ(EditorForEntry("04 00 01 05"), EditorKind::Timer);
  EXPECT_EQ(EditorForEntry("00 FF FF FE"), EditorKind::Loop);
  EXPECT_EQ(EditorForEntry("8A 00 01 04 00 00 00 01 90"), EditorKind::SerialTrigger);
  EXPECT_EQ(EditorForEntry("FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF"), std::nullopt);
  EXPECT_EQ(EditorButtonCaption(EditorKind::IoAction), "IO类动作");
  EXPECT_EQ(EditorButtonCaption(EditorKind::Timer), "定时器");
  EXPECT_EQ(EditorButtonCaption(EditorKind::Loop), "循环类动作");
  EXPECT_EQ(EditorButtonCaption(EditorKind::SerialTrigger), "串口类动作");
}

}  // namespace
}  // namespace relay::model
