#include "app/gui/qt_text.h"

#include "app/project/gbk_text.h"
#include "messages/message_table.h"

namespace fw {

QString Utf8Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString GbkText(std::string_view gbk) { return Utf8Text(GbkToUtf8(gbk)); }

QString MessageText(int id, int language) {
  const char* text = GetText(id, language);
  return text != nullptr ? WithLineFeeds(QString::fromUtf8(text)) : QString();
}

QString TipText(int id, int language) {
  const char* text = GetTip(id, language);
  return text != nullptr ? WithLineFeeds(QString::fromUtf8(text)) : QString();
}

QString WithLineFeeds(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace fw
