#pragma once
// Dialogs shown with Qt's message boxes and file dialogs.

#include "Dialogs.h"

#include <QString>

class QWidget;

namespace relay::app {

class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

  void setParent(QWidget* parent) { parent_ = parent; }

  bool ask(const std::string& title, const std::string& text) override;
  void tell(const std::string& title, const std::string& text, MessageIcon icon) override;
  void showError(const std::string& message) override;
  std::optional<std::string> pickFileToOpen(const FileRequest& request) override;
  std::optional<std::string> pickFileToSave(const FileRequest& request) override;

  // "VYL编程文件(*.VYL)|*.vyl" as a Qt name filter that matches both cases.
  static QString toQtFilter(const std::string& filter);
  // The least width of a box whose window frame shows `title` whole.
  static int widthForTitle(const QString& title);

 private:
  std::optional<std::string> pickFile(const FileRequest& request, bool save);
  // The owner of the next box: the editor whose action runs, else the main window.
  QWidget* boxParent() const;

  QWidget* parent_;
};

}  // namespace relay::app
