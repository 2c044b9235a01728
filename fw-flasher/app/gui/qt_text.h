// Texts of the flasher as the window shows them: the message table's texts in
// the window's language, the project's GBK strings, CR LF line ends as Qt's
// single line feeds.
#pragma once

#include <string_view>

#include <QString>

namespace fw {

QString Utf8Text(std::string_view utf8);
QString GbkText(std::string_view gbk);
// The message table's text; empty for an id it does not have.
QString MessageText(int id, int language);
QString TipText(int id, int language);
// "\r\n" and a lone "\r" become "\n".
QString WithLineFeeds(QString text);

}  // namespace fw
