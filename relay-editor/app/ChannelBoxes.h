#pragma once
// The 16 channel boxes "第 1 路" to "第 16 路" of the IO-action and
// serial-trigger editors: four columns of four, channels 1-4 in the first.

#include "model/Instruction.h"

#include <QCheckBox>

#include <array>

namespace relay::app {

class ChannelBoxes {
 public:
  ChannelBoxes(QWidget* parent, const std::array<int, 4>& columnLefts,
               const std::array<int, 4>& rowTops);

  model::ChannelSet channels() const;
  void setChannels(const model::ChannelSet& channels);
  // Channel n = 1 to 16.
  QCheckBox* box(int channel) const { return boxes_[static_cast<size_t>(channel - 1)]; }

 private:
  std::array<QCheckBox*, 16> boxes_{};
};

}  // namespace relay::app
