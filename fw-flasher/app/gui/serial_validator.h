// The serial-number edits' validator: it takes a text only when the window's
// rule takes it (digits, and no number larger than the serial number's bytes
// carry), and keeps why it refused the last text, for the message the window
// shows when typing or pasting is refused.
#pragma once

#include <functional>

#include <QString>
#include <QValidator>

#include "app/run/serial_edit_rule.h"

namespace fw {

class SerialValidator final : public QValidator {
  Q_OBJECT
 public:
  using Check = std::function<SerialTextCheck(const QString& text)>;
  SerialValidator(Check check, QObject* parent) : QValidator(parent), check_(std::move(check)) {}

  State validate(QString& input, int& pos) const override;

  // Why the last refused text was refused (UTF-8 turned into a QString).
  const QString& last_refusal() const { return last_refusal_; }

 private:
  Check check_;
  mutable QString last_refusal_;
};

}  // namespace fw
