#include "ChannelBoxes.h"

namespace relay::app {

ChannelBoxes::ChannelBoxes(QWidget* parent, const std::array<int, 4>& columnLefts,
                           const std::array<int, 4>& rowTops) {
  for (size_t i = 0; i < boxes_.size(); ++i) {
    auto* box = new QCheckBox(QStringLiteral("第 %1 路").arg(i + 1), parent);
    box->setObjectName(QStringLiteral("channel%1").arg(i + 1));
    box->move(columnLefts[i / 4], rowTops[i % 4]);
    box->resize(88, 22);
    boxes_[i] = box;
  }
}

model::ChannelSet ChannelBoxes::channels() const {
  model::ChannelSet set;
  for (size_t i = 0; i < boxes_.size(); ++i) set[i] = boxes_[i]->isChecked();
  return set;
}

void ChannelBoxes::setChannels(const model::ChannelSet& channels) {
  for (size_t i = 0; i < boxes_.size(); ++i) boxes_[i]->setChecked(channels[i]);
}

}  // namespace relay::app
