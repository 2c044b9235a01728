#include "app/gui/qt_app_dialogs.h"

#include <algorithm>
#include <string>

#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "app/gui/gui_thread.h"
#include "app/gui/qt_text.h"
#include "messages/message_table.h"

namespace fw {
namespace {

// How often an open question looks whether it was withdrawn.
constexpr int kWithdrawalPollMs = 50;
// What a title bar needs besides the title: the window's icon and its buttons.
constexpr int kTitleBarExtra = 140;

// The box as wide as its title needs, so that the window system does not cut
// the application name short.
void FitTitle(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarExtra;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                grid->rowCount(), 0, 1, grid->columnCount());
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case MessageIcon::kError:
      return QMessageBox::Critical;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void QtAppDialogs::SetStopRequested(std::function<bool()> stop_requested) {
  stop_requested_ = std::move(stop_requested);
}

bool QtAppDialogs::AskYesNo(std::string_view text, std::string_view caption) {
  const QString q_text = WithLineFeeds(Utf8Text(text));
  const QString q_caption = Utf8Text(caption);
  if (QThread::currentThread() == parent_->thread()) return AskHere(q_text, q_caption, false);
  if (stop_requested_ && stop_requested_()) return false;
  const std::optional<bool> answer = CallOnGui<bool>(
      parent_, [this, q_text, q_caption] { return AskHere(q_text, q_caption, true); },
      stop_requested_);
  return answer.value_or(false);
}

void QtAppDialogs::ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
  const QString q_text = WithLineFeeds(Utf8Text(text));
  const QString q_caption = Utf8Text(caption);
  if (QThread::currentThread() == parent_->thread())
    return ShowHere(q_text, q_caption, icon, false);
  CallOnGui<bool>(
      parent_,
      [this, q_text, q_caption, icon] {
        ShowHere(q_text, q_caption, icon, true);
        return true;
      },
      stop_requested_);
}

void QtAppDialogs::CloseWorkerBoxes() {
  for (const QPointer<QMessageBox>& box : worker_boxes_)
    if (box) box->reject();
}

void QtAppDialogs::AddYesNo(QMessageBox& box, bool no_is_default, QAbstractButton*& yes) {
  const bool chinese = language_ == kLanguageChinese;
  QPushButton* yes_button =
      box.addButton(chinese ? QStringLiteral("是") : QStringLiteral("Yes"), QMessageBox::YesRole);
  QPushButton* no =
      box.addButton(chinese ? QStringLiteral("否") : QStringLiteral("No"), QMessageBox::NoRole);
  box.setDefaultButton(no_is_default ? no : yes_button);
  box.setEscapeButton(no);
  yes = yes_button;
}

bool QtAppDialogs::AskHere(const QString& text, const QString& caption, bool for_worker) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent_);
  QAbstractButton* yes = nullptr;
  AddYesNo(box, false, yes);
  Run(box, for_worker);
  return box.clickedButton() == yes;
}

Answer QtAppDialogs::Ask(std::string_view text, std::string_view caption,
                         const QuestionOptions& options) {
  // Another thread's question cannot be taken away here: the plain question.
  if (QThread::currentThread() != parent_->thread()) return AppDialogs::Ask(text, caption, options);
  const auto withdrawn = [&options] { return options.withdrawn && options.withdrawn(); };
  if (withdrawn()) return Answer::kWithdrawn;
  QMessageBox box(QMessageBox::Question, Utf8Text(caption), WithLineFeeds(Utf8Text(text)),
                  QMessageBox::NoButton, parent_);
  QAbstractButton* yes = nullptr;
  AddYesNo(box, options.no_is_default, yes);
  bool was_withdrawn = false;
  QTimer watch;
  if (options.withdrawn) {
    QObject::connect(&watch, &QTimer::timeout, &box, [&] {
      if (!withdrawn()) return;
      was_withdrawn = true;
      box.done(QDialog::Rejected);
    });
    watch.start(kWithdrawalPollMs);
  }
  Run(box, false);
  if (was_withdrawn) return Answer::kWithdrawn;
  return box.clickedButton() == yes ? Answer::kYes : Answer::kNo;
}

void QtAppDialogs::ShowHere(const QString& text, const QString& caption, MessageIcon icon,
                            bool for_worker) {
  QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::NoButton, parent_);
  box.addButton(MessageText(kMsgOk, language_), QMessageBox::AcceptRole);
  Run(box, for_worker);
}

int QtAppDialogs::Run(QMessageBox& box, bool for_worker) {
  FitTitle(box);
  if (!for_worker) return box.exec();
  // A stop may have come while the box waited in the queue.
  if (stop_requested_ && stop_requested_()) return QDialog::Rejected;
  worker_boxes_.emplace_back(&box);
  const int result = box.exec();
  worker_boxes_.erase(std::remove(worker_boxes_.begin(), worker_boxes_.end(), &box),
                      worker_boxes_.end());
  return result;
}

}  // namespace fw
