// The application's questions and message boxes as Qt message boxes. Asked
// from another thread (the download worker), a box is shown by the window's
// thread while the asking thread alone waits; once a stop is requested the
// asking thread stops waiting and takes No. Every box keeps its caption (the
// application name) as its title and is at least as wide as the title needs.
#pragma once

#include <functional>
#include <vector>

#include <QObject>
#include <QPointer>

#include "app/run/app_dialogs.h"

class QAbstractButton;
class QMessageBox;
class QWidget;

namespace fw {

class QtAppDialogs final : public AppDialogs {
 public:
  explicit QtAppDialogs(int language) : language_(language) {}

  // The window the boxes belong to; they are shown on its thread. Set before
  // the first question.
  void SetParent(QWidget* parent) { parent_ = parent; }

  // Tested by a waiting worker; true makes its question answer No.
  void SetStopRequested(std::function<bool()> stop_requested);

  bool AskYesNo(std::string_view text, std::string_view caption) override;
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  // On the window's thread: the default button as the options say, and a box
  // that closes by itself once the question is withdrawn.
  Answer Ask(std::string_view text, std::string_view caption,
             const QuestionOptions& options) override;

  // Closes the boxes that a worker is (or was) waiting for, on the window's
  // thread, so that a stop leaves none of them on the screen.
  void CloseWorkerBoxes();

 private:
  bool AskHere(const QString& text, const QString& caption, bool for_worker);
  // Yes and No in the window's language, the default as given.
  void AddYesNo(QMessageBox& box, bool no_is_default, QAbstractButton*& yes);
  void ShowHere(const QString& text, const QString& caption, MessageIcon icon, bool for_worker);
  // Runs the box; worker boxes are remembered while they are open.
  int Run(QMessageBox& box, bool for_worker);

  QWidget* parent_ = nullptr;
  int language_;
  std::function<bool()> stop_requested_;
  std::vector<QPointer<QMessageBox>> worker_boxes_;  // window's thread only
};

}  // namespace fw
