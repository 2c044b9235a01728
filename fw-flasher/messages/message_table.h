// The flasher's bilingual message table and its lookup by language.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "messages/message_id.h"

namespace fw {

// 1 selects Chinese; any other value selects English.
constexpr int kLanguageChinese = 1;
constexpr int kLanguageEnglish = 0;

struct MessageRow {
  std::int32_t id;
  const char* english;
  const char* chinese;
  const char* english_tip;  // null where the row has no tooltip
  const char* chinese_tip;
};

// Every row in table order (the end row is not included).
std::span<const MessageRow> MessageRows();

// First row with this id, or null.
const MessageRow* FindMessage(int id);

// The text in the given language; null for an unknown id. The Chinese text is
// used when the language is Chinese and the row has one, else the English text.
const char* GetText(int id, int language);

// The tooltip by the same rule; null when the row has none.
const char* GetTip(int id, int language);

// Language chosen by the project's first string: exactly "CH" is Chinese.
int LanguageFromProjectString(std::string_view language_string);

}  // namespace fw
