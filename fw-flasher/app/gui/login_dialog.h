// The login dialog: a prompt, a password edit with hidden characters and an
// OK button; the project's login digest decides.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace fw {

struct Project;

class LoginDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit LoginDialog(int language, QWidget* parent = nullptr);

  QLineEdit* password_edit() const { return password_; }
  QPushButton* ok_button() const { return ok_; }

 private:
  QLineEdit* password_;
  QPushButton* ok_;
};

enum class LoginOutcome { kPassed, kWrongPassword, kCancelled };

// Asks for the password; a wrong one is told in the error box (message 4003).
LoginOutcome RunLogin(const Project& project, int language, QWidget* parent = nullptr);

}  // namespace fw
