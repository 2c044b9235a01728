#include "app/gui/serial_validator.h"

#include "app/gui/qt_text.h"

namespace fw {

QValidator::State SerialValidator::validate(QString& input, int& /*pos*/) const {
  const SerialTextCheck check = check_(input);
  if (check.taken) return Acceptable;
  last_refusal_ = Utf8Text(check.refusal);
  return Invalid;
}

}  // namespace fw
