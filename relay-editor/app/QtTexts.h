#pragma once
// Qt's own texts (the fields' context menus, the file dialogs' buttons, tool
// tips and questions) in Chinese, like the rest of the program.

class QCoreApplication;

namespace relay::app {

// Loads Qt's Chinese translation when it is installed; false when it is not,
// and Qt's texts then stay English.
bool InstallQtChineseTexts(QCoreApplication& app);

}  // namespace relay::app
