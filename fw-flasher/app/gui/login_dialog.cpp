#include "app/gui/login_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/error_box.h"
#include "app/gui/qt_text.h"
#include "app/project/project.h"
#include "app/run/login_digest.h"
#include "messages/message_id.h"

namespace fw {

LoginDialog::LoginDialog(int language, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("loginDialog"));
  setWindowTitle(MessageText(kMsgLoginDialog, language));
  auto* prompt = new QLabel(MessageText(kMsgPasswordPrompt, language), this);
  password_ = new QLineEdit(this);
  password_->setEchoMode(QLineEdit::Password);
  ok_ = new QPushButton(MessageText(kMsgOk, language), this);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addWidget(password_);
  layout->addWidget(ok_, 0, Qt::AlignRight);
  setMinimumWidth(260);
}

LoginOutcome RunLogin(const Project& project, int language, QWidget* parent) {
  LoginDialog dialog(language, parent);
  if (dialog.exec() != QDialog::Accepted) return LoginOutcome::kCancelled;
  if (LoginMatches(project, dialog.password_edit()->text().toStdString()))
    return LoginOutcome::kPassed;
  ShowError(parent, MessageText(kMsgPasswordIncorrect, language));
  return LoginOutcome::kWrongPassword;
}

}  // namespace fw
