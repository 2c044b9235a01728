#include "ptimes.h"

#include "model/Decoders.h"

#include <QLabel>
#include <QSpinBox>

namespace relay::app {

Ttimers::Ttimers(QWidget* parent)
    : EditorWindow(QStringLiteral("编程  -> 定时器"), QSize(461, 280), parent) {
  setObjectName(QStringLiteral("Ttimers"));
  (new QLabel(QStringLiteral("定时器"), client()))->move(88, 112);
  value_ = new QSpinBox(client());
  value_->setObjectName(QStringLiteral("timerValue"));
  value_->setRange(0, 65535);
  value_->setValue(1);
  value_->setGeometry(160, 104, 121, 28);
  (new QLabel(QStringLiteral("*100 毫秒"), client()))->move(288, 112);
  placeActionButtons(216, {32, 136, 240, 344});
}

model::TimerFields Ttimers::fields() const { return {value_->value()}; }
void Ttimers::setFields(const model::TimerFields& fields) { value_->setValue(fields.value); }

bool Ttimers::decodeEntry(std::string_view hexText) {
  model::TimerFields f = fields();
  if (!model::DecodeTimer(hexText, f)) return false;
  setFields(f);
  return true;
}

model::Encoded Ttimers::encodeFields() const {
  // An emptied box still reports its last value; what is shown is what is stored.
  if (value_->cleanText().trimmed().isEmpty())
    return {"", model::EncodeProblem::NoValue, "没有输入定时器的值！"};
  return model::EncodeTimer(fields());
}

}  // namespace relay::app
