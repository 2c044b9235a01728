#include <gtest/gtest.h>

#include "app/project/gbk_text.h"

namespace fw {
namespace {

TEST(GbkTextTest, ChineseTextTravelsBothWays) {
  const std::string utf8 = "继电器 Flasher 1.0";
  const auto gbk = Utf8ToGbk(utf8);
  ASSERT_TRUE(gbk.has_value());
  EXPECT_EQ(*gbk, "\xBC\xCC\xB5\xE7\xC6\xF7 Flasher 1.0");
  EXPECT_EQ(GbkToUtf8(*gbk), utf8);
}

TEST(GbkTextTest, BytesThatAreNoGbkComeBackUnchanged) {
  const std::string stray[] = {"\xFF", "A\x81", "\x80\xFF\xFE", std::string("\xBC\xCC\xFF", 3)};
  for (const std::string& gbk : stray) {
    const std::string utf8 = GbkToUtf8(gbk);
    const auto back = Utf8ToGbk(utf8);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, gbk);
  }
}

TEST(GbkTextTest, TextGbkCannotHoldIsRefused) {
  EXPECT_FALSE(Utf8ToGbk("\xF0\x9F\x98\x80").has_value());  // an emoji
  EXPECT_FALSE(Utf8ToGbk("\xC3").has_value());              // cut UTF-8
  EXPECT_EQ(Utf8ToGbk(""), "");
}

}  // namespace
}  // namespace fw
