#include "model/HexText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace relay::model {
namespace {

TEST(BytesToHexText, UpperCaseSingleBlanksNoTrailingBlank) {
  EXPECT_EQ(BytesToHexText(std::vector<std::uint8_t>{0x02, 0x80, 0x01, 0x83}), "02 80 01 83");
  EXPECT_EQ(BytesToHexText(std::vector<std::uint8_t>{0xab, 0x0c}), "AB 0C");
  EXPECT_EQ(BytesToHexText(std::vector<std::uint8_t>{}), "");
  EXPECT_EQ(BytesToHexText(std::string_view("\xD6\xD0", 2)), "D6 D0");
}

TEST(HexTextToBytes, ReadsDigitPairsAndSkipsEverythingElse) {
  struct Case {
    std::string text;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"24 ff 6", {0x24, 0xFF, 0x06}},
      {"A B", {0x0A, 0x0B}},
      {"ABC", {0xAB, 0x0C}},
      {"02 80 01 83   ", {0x02, 0x80, 0x01, 0x83}},
      {"", {}},
      {"zz -- ", {}},
      {"x1y23", {0x01, 0x23}},
      {"F", {0x0F}},
      {"0G1", {0x00, 0x01}},  // the single digit's separator is passed over
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(HexTextToBytes(c.text), c.bytes);
    EXPECT_EQ(HexTextToByteString(c.text), std::string(c.bytes.begin(), c.bytes.end()));
  }
}

TEST(CheckByteText, SumsWholeGroupsOfThreeModulo256) {
  struct Case {
    std::string text;
    std::string check;
  };
  const Case cases[] = {
      {"04 00 01 ", "05"},
      {"02 80 01 ", "83"},
      {"00 FF FF ", "FE"},
      // 23 characters: seven whole groups, the eighth byte (00) is left out.
      {"24 FF 06 FD 00 00 00 00", "26"},
      // Without the trailing blank the last byte is not counted.
      {"04 00 01", "04"},
      {"", "00"},
      {"ff ff ff ", "FD"},
      {"zz 01 ", "01"},  // unreadable digits count as 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CheckByteText(c.text), c.check);
  }
}

TEST(ByteCount, IsLengthPlusOneDividedByThree) {
  EXPECT_EQ(ByteCount("85 00 01 05 00 00 00 01 02 8E"), 10u);
  EXPECT_EQ(ByteCount("85 00 01 05 00 00 00 01 02 8E "), 10u);
  EXPECT_EQ(ByteCount("04 00 01 05"), 4u);
  EXPECT_EQ(ByteCount(""), 0u);
  EXPECT_EQ(ByteCount("0"), 0u);
  EXPECT_EQ(ByteCount("04"), 1u);
  // Characters count as the program's code page (GBK) holds them.
  EXPECT_EQ(ByteCount("中文中文"), 3u);                  // 8 GBK bytes, 12 in UTF-8
  EXPECT_EQ(ByteCount("\xEF\xBF\xBD\xEF\xBF\xBD"), 1u);  // replacement characters: one byte each
  EXPECT_EQ(ByteCount("\xFF\xFF"), 1u);                  // bytes that are no UTF-8: one each
}

TEST(IsHexText, PairsOfDigitsSeparatedBySingleBlanks) {
  struct Case {
    const char* text;
    bool hex;
  };
  const Case cases[] = {
      {"02 80 01 83", true},
      {"85 00 01 05 00 00 00 01 02 8E ", true},  // trailing blank of a read-back entry
      {"0a 0B ff", true},                        // HEX fields keep the case typed
      {"FF FF FF", true},                        // fillers are hex text
      {"04", true},
      {"", true},  // no bytes
      {"0280 0183", false},
      {"hello world", false},
      {"02 80 01 8", false},    // last byte with one digit
      {"02  80 01 83", false},  // two blanks
      {" 02 80", false},
      {"02 80  ", false},  // two trailing blanks
      {" ", false},
      {"02\t80", false},
      {"0G 80", false},
      {"中文", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsHexText(c.text), c.hex);
    // Hex text always counts as many bytes as it holds.
    if (c.hex) {
      EXPECT_EQ(ByteCount(c.text), HexTextToBytes(c.text).size());
    }
  }
}

TEST(ByteAt, ReadsFixedPlacesAndNeverPastTheEnd) {
  const std::string text = "86 00 02 87 C2 00 32 0A 0B 41 42 9B";
  EXPECT_EQ(ByteAt(text, 0), 0x86);
  EXPECT_EQ(ByteAt(text, 3), 0x87);
  EXPECT_EQ(ByteAt(text, 11), 0x9B);
  EXPECT_EQ(ByteAt(text, 12), std::nullopt);
  EXPECT_EQ(ByteAt(text, static_cast<std::size_t>(-1)), std::nullopt);
  EXPECT_EQ(ByteAt("0", 0), std::nullopt);
  EXPECT_EQ(ByteAt("0g 12", 0), std::nullopt);
  EXPECT_EQ(ByteAt("ab", 0), 0xAB);
}

TEST(ClampedSubstr, CutsAtTheEnd) {
  EXPECT_EQ(ClampedSubstr("0A 0B 41", 3, 5), "0B 41");
  EXPECT_EQ(ClampedSubstr("0A 0B 41", 6, 50), "41");
  EXPECT_EQ(ClampedSubstr("0A 0B 41", 8, 5), "");
  EXPECT_EQ(ClampedSubstr("0A", 100, 5), "");
}

TEST(NormaliseHexField, AcceptsPairsWithAnyBlanksKeepingCase) {
  struct Case {
    std::string typed;
    std::optional<std::string> normalised;
  };
  const Case cases[] = {
      {"01 02", "01 02"},
      {"0a0B  ff", "0a 0B ff"},
      {"  aa\tBB  ", "aa BB"},
      {"0A0B0C", "0A 0B 0C"},
      {"", ""},
      {"   ", ""},
      {"ABC", std::nullopt},    // odd digits
      {"0A B", std::nullopt},   // a digit without its pair
      {"0X 12", std::nullopt},  // other characters
      {"12,34", std::nullopt},
      {"中", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(NormaliseHexField(c.typed), c.normalised);
  }
}

}  // namespace
}  // namespace relay::model
