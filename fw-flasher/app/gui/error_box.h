// The application's error box: caption "错误", the error icon, the text and one
// button "确定", the same in both languages.
#pragma once

#include <QString>

class QWidget;

namespace fw {

void ShowError(QWidget* parent, const QString& text);

}  // namespace fw
