#include "Unit4.h"

#include "model/Decoders.h"
#include "model/GbkText.h"
#include "model/HexText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace relay::app {

std::optional<std::string> SwitchPatternView(const std::string& pattern, bool nowHex) {
  if (nowHex) return model::BytesToHexText(model::Utf8ToGbkLossy(pattern));
  return model::GbkToUtf8(model::HexTextToByteString(pattern));
}

namespace {

QGroupBox* Group(const QString& caption, int top, int height, QWidget* parent) {
  auto* group = new QGroupBox(caption, parent);
  group->setGeometry(80, top, 449, height);
  return group;
}

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

Tpanduan::Tpanduan(QWidget* parent)
    : EditorWindow(QStringLiteral("编程  -> 串口类指令"), QSize(612, 499), parent) {
  setObjectName(QStringLiteral("Tpanduan"));

  QGroupBox* received = Group(QStringLiteral("串口接收的指令"), 16, 66, client());
  hex_ = new QCheckBox(QStringLiteral("HEX"), received);
  hex_->setObjectName(QStringLiteral("patternHex"));
  hex_->move(26, 26);
  pattern_ = new QLineEdit(received);
  pattern_->setObjectName(QStringLiteral("pattern"));
  pattern_->setGeometry(80, 22, 353, 28);

  QGroupBox* io =
      Group(QStringLiteral("IO动作      0/一直维持，1-4095为具体的维持时间"), 96, 66, client());
  actions_ = new ActionButtons(io, {32, 104, 168}, 30);
  (new QLabel(QStringLiteral("维持时间"), io))->move(232, 33);
  hold_ = new QComboBox(io);
  hold_->setObjectName(QStringLiteral("hold"));
  hold_->setEditable(true);
  for (const char* item : {"0", "1", "5", "10", "15", "20", "30", "60", "100", "200", "300", "500",
                           "1000", "2000", "4095"})
    hold_->addItem(QString::fromLatin1(item));
  // The list offers values; what is typed stays as typed (no completion from the
  // list, nothing added to it on Enter).
  hold_->setCompleter(nullptr);
  hold_->setInsertPolicy(QComboBox::NoInsert);
  hold_->setGeometry(288, 25, 89, 28);
  hold_->setCurrentText(QStringLiteral("0"));
  hold_->setEnabled(false);
  (new QLabel(QStringLiteral("*100mS"), io))->move(384, 33);

  QGroupBox* out = Group(QStringLiteral("串口输出"), 176, 66, client());
  outputMode_ = new QComboBox(out);
  outputMode_->setObjectName(QStringLiteral("outputMode"));
  outputMode_->addItems({QStringLiteral("无输出"), QStringLiteral("同码输出"),
                         QStringLiteral("HEX输出"), QStringLiteral("ASCII输出")});
  outputMode_->setGeometry(8, 23, 89, 28);
  output_ = new QLineEdit(out);
  output_->setObjectName(QStringLiteral("output"));
  output_->setGeometry(104, 23, 329, 28);
  output_->setEnabled(false);

  QGroupBox* channels = Group(QStringLiteral("选中的IO通道"), 256, 169, client());
  channels_ = std::make_unique<ChannelBoxes>(channels, std::array{40, 136, 240, 344},
                                             std::array{26, 58, 90, 122});

  placeActionButtons(440, {104, 208, 312, 416});

  connect(hex_, &QCheckBox::clicked, this, &Tpanduan::hexClicked);
  connect(actions_, &ActionButtons::selected, this, &Tpanduan::actionSelected);
  connect(outputMode_, &QComboBox::currentIndexChanged, this, &Tpanduan::outputModeSelected);
}

void Tpanduan::hexClicked(bool ticked) {
  const auto switched = SwitchPatternView(pattern_->text().toStdString(), ticked);
  if (!switched) {
    // The bytes are no text: keep showing them as HEX.
    hex_->setChecked(true);
    return;
  }
  pattern_->setText(q(*switched));
}

void Tpanduan::actionSelected(model::Action action) {
  if (action == model::Action::Toggle) {
    hold_->setCurrentText(QStringLiteral("0"));
    hold_->setEnabled(false);
  } else {
    hold_->setEnabled(true);
  }
}

void Tpanduan::outputModeSelected(int mode) {
  const bool typed = mode == model::kOutputHex || mode == model::kOutputAscii;
  if (!typed) output_->clear();
  output_->setEnabled(typed);
}

model::SerialTriggerFields Tpanduan::fields() const {
  model::SerialTriggerFields f;
  f.channels = channels_->channels();
  f.action = actions_->action();
  f.pattern = pattern_->text().toStdString();
  f.patternIsHex = hex_->isChecked();
  f.hold = hold_->currentText().toStdString();
  f.outputMode = outputMode_->currentIndex();
  f.output = output_->text().toStdString();
  return f;
}

void Tpanduan::setFields(const model::SerialTriggerFields& f) {
  channels_->setChannels(f.channels);
  actions_->setAction(f.action);
  hold_->setCurrentText(q(f.hold));
  if (f.outputMode >= 0 && f.outputMode < outputMode_->count())
    outputMode_->setCurrentIndex(f.outputMode);
  output_->setText(q(f.output));
  hex_->setChecked(f.patternIsHex);
  pattern_->setText(q(f.pattern));
}

bool Tpanduan::decodeEntry(std::string_view hexText) {
  model::SerialTriggerFields f = fields();
  if (!model::DecodeSerialTrigger(hexText, f)) return false;
  setFields(f);
  return true;
}

model::Encoded Tpanduan::encodeFields() const { return model::EncodeSerialTrigger(fields()); }

}  // namespace relay::app
