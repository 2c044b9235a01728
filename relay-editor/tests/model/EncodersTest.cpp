#include "ChannelList.h"
#include "model/Encoders.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "model/HexText.h"

namespace relay::model {
namespace {

TEST(EncodeFourByte, IoActionTimerAndLoop) {
  EXPECT_EQ(EncodeIoAction({Channels({1, 16}), Action::Open}).hexText, "02 80 01 83");
  EXPECT_EQ(EncodeIoAction({Channels({1}), Action::Close}).hexText, "01 00 01 02");
  EXPECT_EQ(EncodeIoAction({Channels({9}), Action::Toggle}).hexText, "03 01 00 04");
  EXPECT_EQ(EncodeIoAction({ChannelSet().set(), Action::Toggle}).hexText, "03 FF FF 01");

  struct Case {
    int value;
    std::string timer;
    std::string loop;
  };
  const Case cases[] = {
      {0, "04 00 00 04", "00 00 00 00"},     {1, "04 00 01 05", "00 00 01 01"},
      {3, "04 00 03 07", "00 00 03 03"},     {10, "04 00 0A 0E", "00 00 0A 0A"},
      {65535, "04 FF FF 02", "00 FF FF FE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const Encoded timer = EncodeTimer({c.value});
    const Encoded loop = EncodeLoop({c.value});
    EXPECT_TRUE(timer.ok());
    EXPECT_EQ(timer.hexText, c.timer);
    EXPECT_EQ(loop.hexText, c.loop);
    EXPECT_EQ(timer.display(), RefusalDisplay::None);
  }
}

struct TriggerCase {
  const char* name;
  SerialTriggerFields fields;
  std::string hexText;
};

void PrintTo(const TriggerCase& c, std::ostream* os) { *os << c.name; }

class EncodeSerialTriggerOk : public ::testing::TestWithParam<TriggerCase> {};

TEST_P(EncodeSerialTriggerOk, GivesTheInstruction) {
  const Encoded encoded = EncodeSerialTrigger(GetParam().fields);
  EXPECT_EQ(encoded.problem, EncodeProblem::None) << encoded.message;
  EXPECT_EQ(encoded.hexText, GetParam().hexText);
  // Total length = (length byte AND 0x7F) + 5.
  EXPECT_EQ(ByteCount(encoded.hexText), (ByteAt(encoded.hexText, 3).value_or(0) & 0x7Fu) + 5u);
}

std::string Repeat(std::string_view piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeSerialTriggerOk,
    ::testing::Values(TriggerCase{"HexPatternNoOutput",
                                  {Channels({1}), Action::Close, "01 02", true, "0", 0, ""},
                                  "85 00 01 05 00 00 00 01 02 8E"},
                      TriggerCase{"AsciiPatternHexOutputHold",
                                  {Channels({2}), Action::Open, "AB", false, "50", 2, "0A 0B"},
                                  "86 00 02 87 C2 00 32 0A 0B 41 42 9B"},
                      TriggerCase{"SameCodeOutput",
                                  {Channels({9}), Action::Toggle, "AA", true, "0", 1, ""},
                                  "87 01 00 04 20 00 00 AA 56"},
                      TriggerCase{"AsciiPatternSetsBit7OfLength",
                                  {Channels({1}), Action::Close, "AB", false, "0", 0, ""},
                                  "85 00 01 85 00 00 00 41 42 8E"},
                      TriggerCase{"ChinesePatternIsTwoGbkBytes",
                                  {Channels({1}), Action::Open, "中", false, "0", 3, "OK"},
                                  "86 00 01 87 62 00 00 4F 4B D6 D0 B0"},
                      TriggerCase{"HexFieldNormalisedCaseKept",
                                  {Channels({1}), Action::Close, " aa0b ", true, "0", 0, ""},
                                  "85 00 01 05 00 00 00 aa 0b 40"},
                      TriggerCase{"OutputIgnoredInModesZeroAndOne",
                                  {Channels({9}), Action::Toggle, "AA", true, "0", 1, "junk"},
                                  "87 01 00 04 20 00 00 AA 56"},
                      TriggerCase{"HoldWithBlanks",
                                  {Channels({1}), Action::Close, "01", true, " 7 ", 0, ""},
                                  "85 00 01 04 80 00 07 01 12"},
                      TriggerCase{"HoldAtItsLimit",
                                  {Channels({16}), Action::Close, "FF", true, "4095", 0, ""},
                                  "85 80 00 04 80 0F FF FF 96"},
                      TriggerCase{
                          "HexPatternOf124FillsTheLengthByte",
                          {Channels({1}), Action::Close, Repeat("00 ", 124), true, "0", 0, ""},
                          "85 00 01 7F 00 00 00 " + Repeat("00 ", 124) + "05"},
                      TriggerCase{"AsciiOutputOf31FillsTheOutputByte",
                                  {Channels({1}), Action::Close, "00", true, "0", 3,
                                   Repeat(std::string(1, '\0'), 31)},
                                  "85 00 01 23 7F 00 00 " + Repeat("00 ", 32) + "28"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
  const char* name;
  SerialTriggerFields fields;
  EncodeProblem problem;
  RefusalDisplay display;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class EncodeSerialTriggerRefused : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(EncodeSerialTriggerRefused, GivesNoTextAndNamesTheProblem) {
  const Encoded encoded = EncodeSerialTrigger(GetParam().fields);
  EXPECT_EQ(encoded.hexText, "");
  EXPECT_EQ(encoded.problem, GetParam().problem);
  EXPECT_EQ(encoded.display(), GetParam().display);
  EXPECT_FALSE(encoded.ok());
  EXPECT_FALSE(encoded.message.empty());
}

constexpr auto kWarn = RefusalDisplay::WarningThenFailure;

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeSerialTriggerRefused,
    ::testing::Values(
        RefusalCase{"NoAction",
                    {Channels({1}), Action::None, "AB", false, "0", 0, ""},
                    EncodeProblem::NoAction,
                    RefusalDisplay::FailureOnly},
        RefusalCase{"NoChannel",
                    {ChannelSet(), Action::Open, "AB", false, "0", 0, ""},
                    EncodeProblem::NoChannel,
                    RefusalDisplay::FailureOnly},
        RefusalCase{"HoldNotInteger",
                    {Channels({1}), Action::Open, "AB", false, "abc", 0, ""},
                    EncodeProblem::HoldNotInteger,
                    RefusalDisplay::ConversionError},
        RefusalCase{"HoldEmpty",
                    {Channels({1}), Action::Open, "AB", false, "", 0, ""},
                    EncodeProblem::HoldNotInteger,
                    RefusalDisplay::ConversionError},
        RefusalCase{"HoldOverflows",
                    {Channels({1}), Action::Open, "AB", false, "99999999999999999999", 0, ""},
                    EncodeProblem::HoldNotInteger,
                    RefusalDisplay::ConversionError},
        RefusalCase{"HoldAboveLimit",
                    {Channels({1}), Action::Open, "AB", false, "4096", 0, ""},
                    EncodeProblem::HoldOutOfRange,
                    kWarn},
        RefusalCase{"HoldNegative",
                    {Channels({1}), Action::Open, "AB", false, "-1", 0, ""},
                    EncodeProblem::HoldOutOfRange,
                    kWarn},
        RefusalCase{"OutputModeUnknown",
                    {Channels({1}), Action::Open, "AB", false, "0", 4, ""},
                    EncodeProblem::BadOutputMode,
                    kWarn},
        RefusalCase{"HexPatternOddDigits",
                    {Channels({1}), Action::Open, "ABC", true, "0", 0, ""},
                    EncodeProblem::MalformedHexPattern,
                    kWarn},
        RefusalCase{"HexPatternOtherCharacters",
                    {Channels({1}), Action::Open, "0x12", true, "0", 0, ""},
                    EncodeProblem::MalformedHexPattern,
                    kWarn},
        RefusalCase{"HexPatternEmpty",
                    {Channels({1}), Action::Open, "  ", true, "0", 0, ""},
                    EncodeProblem::EmptyPattern,
                    kWarn},
        RefusalCase{"AsciiPatternEmpty",
                    {Channels({1}), Action::Open, "", false, "0", 0, ""},
                    EncodeProblem::EmptyPattern,
                    kWarn},
        RefusalCase{"HexOutputEmpty",
                    {Channels({1}), Action::Open, "AB", false, "0", 2, ""},
                    EncodeProblem::EmptyHexOutput,
                    kWarn},
        RefusalCase{"HexOutputMalformed",
                    {Channels({1}), Action::Open, "AB", false, "0", 2, "0A 0"},
                    EncodeProblem::MalformedHexOutput,
                    kWarn},
        RefusalCase{"PatternWithoutGbkForm",
                    {Channels({1}), Action::Open, "\xF0\x9F\x98\x80", false, "0", 0, ""},
                    EncodeProblem::NotGbkText,
                    kWarn},
        RefusalCase{"OutputWithoutGbkForm",
                    {Channels({1}), Action::Open, "AB", false, "0", 3, "\xF0\x9F\x98\x80"},
                    EncodeProblem::NotGbkText,
                    kWarn},
        RefusalCase{"AsciiPattern100Output30",
                    {Channels({1}), Action::Open, Repeat("a", 100), false, "0", 3, Repeat("b", 30)},
                    EncodeProblem::TooLong,
                    kWarn},
        RefusalCase{"AsciiPatternOf125",
                    {Channels({1}), Action::Open, Repeat("a", 125), false, "0", 0, ""},
                    EncodeProblem::TooLong,
                    kWarn},
        RefusalCase{"HexPatternOf125WouldSetBit7",
                    {Channels({1}), Action::Open, Repeat("00 ", 125), true, "0", 0, ""},
                    EncodeProblem::TooLong,
                    kWarn},
        RefusalCase{"OutputOf32",
                    {Channels({1}), Action::Open, "A", false, "0", 3, Repeat("b", 32)},
                    EncodeProblem::TooLong,
                    kWarn},
        RefusalCase{"HexOutputOf32",
                    {Channels({1}), Action::Open, "A", false, "0", 2, Repeat("0B", 32)},
                    EncodeProblem::TooLong,
                    kWarn}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EncodeSerialTrigger, MessagesOfTheTooLongAndConversionCases) {
  SerialTriggerFields fields{Channels({1}), Action::Open, Repeat("a", 125), false, "0", 0, ""};
  EXPECT_EQ(EncodeSerialTrigger(fields).message, kTooLongWarning);
  fields.pattern = "AB";
  fields.hold = "1x";
  EXPECT_EQ(EncodeSerialTrigger(fields).message, "'1x' is not a valid integer value");
}

TEST(EncodeFourByte, Refusals) {
  struct Case {
    const char* name;
    Encoded encoded;
    EncodeProblem problem;
    RefusalDisplay display;
  };
  const Case cases[] = {
      {"io no action", EncodeIoAction({Channels({1}), Action::None}), EncodeProblem::NoAction,
       RefusalDisplay::FailureOnly},
      {"io no channel", EncodeIoAction({ChannelSet(), Action::Open}), EncodeProblem::NoChannel,
       RefusalDisplay::FailureOnly},
      {"timer negative", EncodeTimer({-1}), EncodeProblem::ValueOutOfRange, kWarn},
      {"timer too big", EncodeTimer({65536}), EncodeProblem::ValueOutOfRange, kWarn},
      {"loop too big", EncodeLoop({70000}), EncodeProblem::ValueOutOfRange, kWarn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.encoded.hexText, "");
    EXPECT_EQ(c.encoded.problem, c.problem);
    EXPECT_EQ(c.encoded.display(), c.display);
  }
}

}  // namespace
}  // namespace relay::model
