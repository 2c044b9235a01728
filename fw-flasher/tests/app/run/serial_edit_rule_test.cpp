// What a serial-number edit takes, at the limits of each format's bytes through
// each link: the largest number is taken, the next one is refused with why,
// and no length of text wraps into a small number.
#include <gtest/gtest.h>

#include "app/run/serial_edit_rule.h"
#include "app/run/serial_numbers.h"
#include "messages/message_table.h"

namespace fw {
namespace {

SerialNumberSettings Settings(int format, int length) {
  SerialNumberSettings s;
  s.enabled = true;
  s.length = length;
  s.format = static_cast<std::uint8_t>(format);
  return s;
}

struct Limit {
  int format;
  int length;
  LinkKind link;
  const char* largest;
  const char* next;
};

class SerialEditRuleLimits : public ::testing::TestWithParam<Limit> {};

TEST_P(SerialEditRuleLimits, TakesTheLargestAndRefusesTheNext) {
  const Limit& l = GetParam();
  const SerialNumberSettings s = Settings(l.format, l.length);
  EXPECT_TRUE(CheckSerialText(l.largest, 0, s, l.link, kLanguageEnglish).taken);
  const SerialTextCheck next = CheckSerialText(l.next, 1, s, l.link, kLanguageEnglish);
  EXPECT_FALSE(next.taken);
  EXPECT_EQ(next.refusal, "Serial number 2 holds at most " + std::string(l.largest) + " in its " +
                              std::to_string(l.length) + " bytes: " + l.next + " was not taken.");
}

INSTANTIATE_TEST_SUITE_P(
    EachFormatAndLink, SerialEditRuleLimits,
    ::testing::Values(Limit{kSerialPlain, 1, LinkKind::kSerialPort, "255", "256"},
                      Limit{kSerialPlain, 4, LinkKind::kSerialPort, "4294967295", "4294967296"},
                      Limit{kSerialPlain, 16, LinkKind::kSerialPort,
                            "340282366920938463463374607431768211455",
                            // 2^128: read as a number it would wrap to 0
                            "340282366920938463463374607431768211456"},
                      Limit{kSerialBcd, 4, LinkKind::kSerialPort, "99999999", "100000000"},
                      Limit{kSerialBcd, 4, LinkKind::kUsbWriter, "99999999", "123456789"},
                      Limit{kSerialAsciiHex, 4, LinkKind::kSerialPort, "9999", "10000"},
                      // The USB writer sends the ASCII format as BCD digits.
                      Limit{kSerialAsciiHex, 4, LinkKind::kUsbWriter, "99999999", "100000000"}));

TEST(SerialEditRuleTest, LeadingZerosCountForNothingAndEmptyIsZero) {
  const SerialNumberSettings bcd = Settings(kSerialBcd, 2);
  EXPECT_TRUE(CheckSerialText("", 0, bcd, LinkKind::kSerialPort, kLanguageEnglish).taken);
  EXPECT_TRUE(CheckSerialText("00000000009999", 0, bcd, LinkKind::kSerialPort, 0).taken);
  EXPECT_FALSE(CheckSerialText("000010000", 0, bcd, LinkKind::kSerialPort, 0).taken);
  // Fifty digits: more than 128 bits, refused however they would wrap.
  EXPECT_FALSE(
      CheckSerialText(std::string(50, '1'), 0, Settings(kSerialPlain, 16), LinkKind::kSerialPort, 0)
          .taken);
}

TEST(SerialEditRuleTest, DigitsOnlyInEachLanguage) {
  const SerialNumberSettings s = Settings(kSerialPlain, 4);
  const SerialTextCheck en = CheckSerialText("12a4", 0, s, LinkKind::kSerialPort, kLanguageEnglish);
  EXPECT_FALSE(en.taken);
  EXPECT_EQ(en.refusal, "Serial number 1 takes digits only: \"12a4\" was not taken.");
  EXPECT_FALSE(CheckSerialText(" 12", 0, s, LinkKind::kSerialPort, kLanguageEnglish).taken);
  EXPECT_FALSE(CheckSerialText("-1", 0, s, LinkKind::kSerialPort, kLanguageEnglish).taken);
  const SerialTextCheck zh = CheckSerialText("１２", 0, s, LinkKind::kSerialPort, kLanguageChinese);
  EXPECT_EQ(zh.refusal, "序列号 1 只能输入数字: \"１２\" 未被接受.");
  EXPECT_EQ(
      CheckSerialText("100000", 0, Settings(kSerialBcd, 2), LinkKind::kSerialPort, kLanguageChinese)
          .refusal,
      "序列号 1 最大为 9999 (共 2 字节): 100000 未被接受.");
}

TEST(SerialEditRuleTest, ALongRefusedTextIsQuotedShort) {
  const std::string pasted(5000, '7');
  const SerialTextCheck check =
      CheckSerialText(pasted, 0, Settings(kSerialPlain, 4), LinkKind::kSerialPort, 0);
  EXPECT_FALSE(check.taken);
  EXPECT_LT(check.refusal.size(), 200u);
  EXPECT_NE(check.refusal.find("7777..."), std::string::npos);
}

}  // namespace
}  // namespace fw
