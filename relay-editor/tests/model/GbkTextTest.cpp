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
  EXPECT_EQ(Utf8ToGbkLossy("A\xF0\x9F\x98\x80" "中"), "A?\xD6\xD0");
  EXPECT_EQ(Utf8ToGbkLossy("\xFF" "B"), "?B");
  EXPECT_EQ(GbkToUtf8Lossy("A\xFF" "B"), "A\xEF\xBF\xBD" "B");
  EXPECT_EQ(GbkToUtf8Lossy("A\xD6"), "A\xEF\xBF\xBD");
}

}  // namespace
}  // namespace relay::model
