#include "model/GbkText.h"

#include <gtest/gtest.h>

namespace relay::model {
namespace {

TEST(GbkText, ChineseCharactersAreTwoBytesAndRoundTrip) {
  struct Case {
    std::string utf8;
    std::string gbk;
  };
  const Case cases[] = {
      {"AB", "AB"},
      {"中", "\xD6\xD0"},
      {"指令清单", "\xD6\xB8\xC1\xEE\xC7\xE5\xB5\xA5"},
      {"€", "\x80"},  // code page 936 has the euro sign at 0x80
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
    EXPECT_EQ(Utf8ToGbkLossy(c.utf8), c.gbk);
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8);
    EXPECT_EQ(GbkToUtf8Lossy(c.gbk), c.utf8);
  }
}

TEST(GbkText, StrictConversionsRefuseWhatTheOtherSideCannotHold) {
  EXPECT_EQ(Utf8ToGbk("A\xF0\x9F\x98\x80"), std::nullopt);  // an emoji has no GBK form
  EXPECT_EQ(Utf8ToGbk("\xFF\xFE"), std::nullopt);           // not UTF-8
  EXPECT_EQ(GbkToUtf8("\xFF"), std::nullopt);
  EXPECT_EQ(GbkToUtf8("A\xD6"), std::nullopt);  // lead byte without its trail byte
}

TEST(GbkText, LossyConversionsReplaceOnlyTheBadPart) {
  EXPECT_EQ(Utf8ToGbkLossy("A\xF0\x9F\x98\x80"
                           "中"),
            "A?\xD6\xD0");
  EXPECT_EQ(Utf8ToGbkLossy("\xFF"
                           "B"),
            "?B");
  EXPECT_EQ(GbkToUtf8Lossy("A\xFF"
                           "B"),
            "A\xEF\xBF\xBD"
            "B");
  EXPECT_EQ(GbkToUtf8Lossy("A\xD6"), "A\xEF\xBF\xBD");
}

TEST(GbkText, BytesThatAreNoGbkSurviveTheReversibleRoundTrip) {
  const std::string samples[] = {
      "A\xFF"
      "B",                 // a byte that starts no character
      "A\xD6",             // a lead byte without its trail byte
      "\xD6\xD0\x81\x20",  // a character, then a lead byte before a blank
      "\x80\xFE\xFF",
      std::string("\0\x01\x7F", 3),
  };
  for (const std::string& bytes : samples) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    const std::string utf8 = GbkToUtf8Reversible(bytes);
    EXPECT_EQ(Utf8ToGbkLossy(utf8), bytes);
    EXPECT_EQ(GbkToUtf8(bytes).has_value(), utf8 == GbkToUtf8Lossy(bytes));
  }
  // Every single byte travels as one character.
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToGbkLossy(GbkToUtf8Reversible(byte)), byte) << b;
  }
}

}  // namespace
}  // namespace relay::model
