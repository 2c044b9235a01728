#include "IO.h"

#include "model/Decoders.h"

namespace relay::app {

TForm2::TForm2(QWidget* parent)
    : EditorWindow(QStringLiteral("编程  -> IO类动作"), QSize(464, 280), parent) {
  setObjectName(QStringLiteral("TForm2"));
  channels_ = std::make_unique<ChannelBoxes>(client(), std::array{40, 136, 240, 344},
                                             std::array{32, 64, 96, 128});
  actions_ = new ActionButtons(client(), {96, 192, 296}, 168);
  placeActionButtons(216, {32, 136, 240, 344});
}

model::IoActionFields TForm2::fields() const { return {channels_->channels(), actions_->action()}; }

void TForm2::setFields(const model::IoActionFields& fields) {
  channels_->setChannels(fields.channels);
  actions_->setAction(fields.action);
}

bool TForm2::decodeEntry(std::string_view hexText) {
  model::IoActionFields f = fields();
  if (!model::DecodeIoAction(hexText, f)) return false;
  setFields(f);
  return true;
}

model::Encoded TForm2::encodeFields() const { return model::EncodeIoAction(fields()); }

}  // namespace relay::app
