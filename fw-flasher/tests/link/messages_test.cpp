#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "messages/message_table.h"

namespace fw {
namespace {

TEST(MessageTableTest, LookupByLanguage) {
  struct Case {
    int id;
    int language;
    const char* expected;
  } const cases[] = {
      {1046, 1, "下载/编程"},
      {1046, 0, "Download/Program"},
      {1046, 2, "Download/Program"},
      {1046, -1, "Download/Program"},
      {8005, 1, "  固件版本号: %d.%d%c\r\n"},
      {8017, 0, "Successful\t\t\t[%.3f\"]\r\n"},
      {8109, 1, "  下载板连接失败 !\r\n  请确认下载板上的\"更新/下载跳线\"是否跳为下载模式 !\r\n"},
      {8125, 1, "错误"},
      {1, 0, "OK"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    ASSERT_NE(GetText(c.id, c.language), nullptr);
    EXPECT_STREQ(GetText(c.id, c.language), c.expected);
  }
  EXPECT_EQ(GetText(9999, 1), nullptr);
  EXPECT_EQ(GetText(-1, 0), nullptr) << "the end row is not a message";
  EXPECT_EQ(FindMessage(9999), nullptr);
}

TEST(MessageTableTest, EveryIdOnceAndEveryRowHasBothTexts) {
  std::set<int> ids;
  for (const MessageRow& row : MessageRows()) {
    SCOPED_TRACE(row.id);
    EXPECT_TRUE(ids.insert(row.id).second);
    ASSERT_NE(row.english, nullptr);
    ASSERT_NE(row.chinese, nullptr);
    EXPECT_EQ(FindMessage(row.id), &row);
  }
  // The 144 rows of the flasher's table, the window's additions from 4100 on,
  // then the command line's and the steps' own from 8200 on (the profile's and
  // the serial numbers' from 8260).
  const auto window_addition = [](int id) { return id >= 4100 && id < 4200; };
  EXPECT_EQ(std::count_if(ids.begin(), ids.end(),
                          [&](int id) { return id < 8200 && !window_addition(id); }),
            144);
  EXPECT_EQ(std::count_if(ids.begin(), ids.end(), window_addition), 17);
  EXPECT_EQ(std::count_if(ids.begin(), ids.end(), [](int id) { return id >= 8200; }), 30);
  // The groups of identifiers the flasher relies on.
  for (int id = 8000; id <= 8125; ++id) {
    if (id == 8124) continue;
    EXPECT_TRUE(ids.count(id)) << id;
  }
}

// A log line ends in CR LF in both languages or in neither; otherwise the next
// line of the report runs on in one of them. The texts of message boxes
// (8116, 8122, 8123) are not log lines.
TEST(MessageTableTest, LineEndingsAgreeBetweenLanguages) {
  const auto endsLine = [](const char* text) {
    const std::string s(text);
    return s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0;
  };
  for (const MessageRow& row : MessageRows()) {
    if (row.id == 8116 || row.id == 8122 || row.id == 8123) continue;
    SCOPED_TRACE(row.id);
    EXPECT_EQ(endsLine(row.english), endsLine(row.chinese));
  }
}

// The log formats both languages with the same arguments: both texts must ask
// for the same conversions in the same order (flags and widths may differ).
TEST(MessageTableTest, ConversionsAgreeBetweenLanguages) {
  const auto conversions = [](const char* text) {
    std::string kinds;
    for (const char* p = text; *p != '\0'; ++p) {
      if (*p != '%') continue;
      ++p;
      while (*p != '\0' && std::strchr("-+ #0123456789.l", *p) != nullptr) ++p;
      if (*p == '\0') break;
      if (*p != '%') kinds += *p;
    }
    return kinds;
  };
  for (const MessageRow& row : MessageRows()) {
    SCOPED_TRACE(row.id);
    EXPECT_EQ(conversions(row.english), conversions(row.chinese));
  }
}

TEST(MessageTableTest, TooltipsOnlyOnTheTwoButtons) {
  EXPECT_STREQ(
      GetTip(1046, 0),
      "Start download/program \r\n(Please power on the target MCU after press down the button)");
  EXPECT_STREQ(GetTip(1046, 1), "开始下载编程\r\n(请先点击下载按钮后,再给目标芯片上电)");
  ASSERT_NE(GetTip(1001, 1), nullptr);
  EXPECT_EQ(std::string(GetTip(1001, 0)).rfind("Settings the highest / lowest baudrate", 0), 0u);
  for (const MessageRow& row : MessageRows()) {
    if (row.id == 1046 || row.id == 1001) continue;
    EXPECT_EQ(GetTip(row.id, 0), nullptr) << row.id;
    EXPECT_EQ(GetTip(row.id, 1), nullptr) << row.id;
  }
  EXPECT_EQ(GetTip(9999, 1), nullptr);
}

TEST(MessageTableTest, BoardUpdateQuestionInChineseAddsTheManualSteps) {
  const std::string zh = GetText(8123, 1);
  EXPECT_EQ(zh.rfind("下载板中的固件不是最新版本, 是否需要自动更新 ?\r\n\r\n", 0), 0u);
  for (const char* step : {"  1. ", "  2. ", "  3. ", "  4. "})
    EXPECT_NE(zh.find(step), std::string::npos);
  EXPECT_STREQ(
      GetText(8123, 0),
      "Firmware in the board is not the latest version, whether to update automatically ?");
}

// Every name of message_id.h stands for a row: a wrong number would log nothing
// (a null text clears the log).
TEST(MessageTableTest, EveryNamedIdentifierHasARow) {
  std::ifstream header(FW_MESSAGE_ID_H);
  ASSERT_TRUE(header.is_open()) << FW_MESSAGE_ID_H;
  const std::regex enumerator(R"((kMsg\w+) = (\d+),)");
  std::set<int> named;
  for (std::string line; std::getline(header, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, enumerator)) continue;
    const int id = std::stoi(m[2]);
    EXPECT_NE(FindMessage(id), nullptr) << m[1] << " = " << id;
    EXPECT_TRUE(named.insert(id).second) << m[1] << " repeats " << id;
  }
  EXPECT_EQ(named.size(), MessageRows().size()) << "every row has a name";
  EXPECT_EQ(GetText(kMsgResultWrongChip, kLanguageEnglish), std::string("wrong chip type"));
}

TEST(MessageTableTest, LanguageFromProjectString) {
  EXPECT_EQ(LanguageFromProjectString("CH"), kLanguageChinese);
  for (const char* other : {"ch", "", "EN", "CH ", "CHN"}) {
    EXPECT_EQ(LanguageFromProjectString(other), kLanguageEnglish) << '"' << other << '"';
  }
}

}  // namespace
}  // namespace fw
