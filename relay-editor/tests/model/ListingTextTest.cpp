#include "model/ListingText.h"

#include <gtest/gtest.h>

#include <string>

namespace relay::model {
namespace {

TEST(ListingText, DescribesEveryKind) {
  struct Case {
    std::string hexText;
    std::string listing;
  };
  const Case cases[] = {
      {"00 00 03 03", "   <<<指令循环  3 次"},
      {"00 FF FF FE", "   <<<指令循环  一直维持"},
      {"00 00 00 00", "   <<<指令循环  无效"},
      {"00 FF FE FD", "   <<<指令循环  65534 次"},
      {"02 80 01 83", "打开 -> 第 1 16 路"},
      {"01 00 01 02", "关闭 -> 第 1 路"},
      {"03 FF FF 01", "反转 -> 第 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 路"},
      {"02 00 00 02", "打开 -> 第 路"},
      {"04 00 0A 0E", "    定时器 -> 1000 毫秒"},
      {"04 FF FF 02", "    定时器 -> 6553500 毫秒"},
      {"86 00 02 87 C2 00 32 0A 0B 41 42 9B",
       "收到ASCII指令 AB 打开 第 2 路 串口输出HEX 0A 0B 通道维持5000mS"},
      {"85 00 01 05 00 00 00 01 02 8E", "收到HEX指令 01 02 关闭 第 1 路 串口不动作  通道一直维持"},
      {"87 01 00 04 20 00 00 AA 56", "收到HEX指令 AA 反转 第 9 路 串口同码输出  通道一直维持"},
      {"86 00 01 87 62 00 00 4F 4B D6 D0 B0",
       "收到ASCII指令 中 打开 第 1 路 串口输出ASCII OK 通道一直维持"},
      {"85 00 01 05 00 00 00 aa 0b 40", "收到HEX指令 aa 0b 关闭 第 1 路 串口不动作  通道一直维持"},
      // No action: no action part, and so no "第" before the channels.
      {"89 00 01 04 80 00 07 01 12", "收到HEX指令 01 1 路 串口不动作  通道维持700mS"},
      {"FF FF FF", "无效指令"},
      {"FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF", "无效指令"},
      // Not recognised: empty listing text.
      {"FF FF FF ", ""},
      {"02 80 0", ""},
      {"02 80 01", "打开 -> 第 1 16 路"},  // 8 characters are enough
      {"", ""},
      {"05 00 01 06", ""},
      {"84 00 01 05 00 00 00 01 02 8E", ""},
      {"8B 00 01 05 00 00 00 01 02 8E", ""},
      {"FF 00 00 FF", ""},
      {"zz 00 00 00", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hexText);
    EXPECT_EQ(ListingText(c.hexText), c.listing);
  }
}

TEST(ListingText, DamagedTriggersGivePartialTexts) {
  struct Case {
    std::string hexText;
    std::string listing;
  };
  const Case cases[] = {
      // The length byte claims more pattern bytes than there are.
      {"85 00 01 7F 00 00 00 01 02", "收到HEX指令 01 02 关闭 第 1 路 串口不动作  通道一直维持"},
      // Output count beyond the text; the pattern starts after the end.
      {"86 00 01 05 5F 00 00 0A", "收到HEX指令  打开 第 1 路 串口输出HEX 0A 通道一直维持"},
      // Bytes that are no GBK text are shown as replacement characters.
      {"85 00 01 84 00 00 00 FF 09",
       "收到ASCII指令 \xEF\xBF\xBD 关闭 第 1 路 串口不动作  通道一直维持"},
      // Only the first bytes; the rest reads as 0.
      {"86 00 04", "收到HEX指令  打开 第 3 路 串口不动作  通道一直维持"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hexText);
    EXPECT_EQ(ListingText(c.hexText), c.listing);
  }
}

}  // namespace
}  // namespace relay::model
