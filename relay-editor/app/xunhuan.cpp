#include "xunhuan.h"

#include "model/Decoders.h"
#include "model/Instruction.h"

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>

namespace relay::app {

LoopBoxes LoopBoxesFor(int count) {
  if (count == model::kLoopInvalid) return {true, false};
  return {false, count == model::kLoopForever};
}

TForm3::TForm3(QWidget* parent)
    : EditorWindow(QStringLiteral("编程  -> 指令循环"), QSize(462, 279), parent) {
  setObjectName(QStringLiteral("TForm3"));
  (new QLabel(QStringLiteral("0  / 无效、停止"), client()))->move(88, 56);
  (new QLabel(QStringLiteral("1-65534 / 次数"), client()))->move(184, 56);
  (new QLabel(QStringLiteral("65535  / 一直维持 "), client()))->move(272, 56);
  (new QLabel(QStringLiteral("指令循环"), client()))->move(112, 112);
  value_ = new QSpinBox(client());
  value_->setObjectName(QStringLiteral("loopValue"));
  value_->setRange(0, 65535);
  value_->setValue(0);
  value_->setGeometry(184, 104, 121, 28);
  (new QLabel(QStringLiteral("次"), client()))->move(312, 112);
  invalid_ = new QCheckBox(QStringLiteral("无效"), client());
  invalid_->setObjectName(QStringLiteral("loopInvalid"));
  invalid_->move(144, 160);
  forever_ = new QCheckBox(QStringLiteral("一直维持"), client());
  forever_->setObjectName(QStringLiteral("loopForever"));
  forever_->move(248, 160);
  placeActionButtons(216, {32, 136, 240, 344});

  connect(value_, &QSpinBox::valueChanged, this, &TForm3::valueChanged);
  connect(invalid_, &QCheckBox::clicked, this, [this](bool ticked) {
    if (!ticked) return;
    forever_->setChecked(false);
    value_->setValue(model::kLoopInvalid);
  });
  connect(forever_, &QCheckBox::clicked, this, [this](bool ticked) {
    if (!ticked) return;
    invalid_->setChecked(false);
    value_->setValue(model::kLoopForever);
  });
}

void TForm3::valueChanged(int value) {
  const LoopBoxes boxes = LoopBoxesFor(value);
  invalid_->setChecked(boxes.invalid);
  forever_->setChecked(boxes.keepForever);
}

model::LoopFields TForm3::fields() const { return {value_->value()}; }
void TForm3::setFields(const model::LoopFields& fields) { value_->setValue(fields.value); }

bool TForm3::decodeEntry(std::string_view hexText) {
  model::LoopFields f = fields();
  if (!model::DecodeLoop(hexText, f)) return false;
  setFields(f);
  return true;
}

model::Encoded TForm3::encodeFields() const {
  // An emptied box still reports its last value; what is shown is what is stored.
  if (value_->cleanText().trimmed().isEmpty())
    return {"", model::EncodeProblem::NoValue, "没有输入循环次数！"};
  return model::EncodeLoop(fields());
}

}  // namespace relay::app
