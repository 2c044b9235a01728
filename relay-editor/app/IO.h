#pragma once
// The IO-action editor "编程  -> IO类动作".

#include "ActionButtons.h"
#include "ChannelBoxes.h"
#include "EditorWindow.h"
#include "model/EditorFields.h"

#include <memory>

namespace relay::app {

class TForm2 : public EditorWindow {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);

  model::IoActionFields fields() const;
  void setFields(const model::IoActionFields& fields);

  bool decodeEntry(std::string_view hexText) override;
  model::Encoded encodeFields() const override;

  ChannelBoxes& channelBoxes() { return *channels_; }
  ActionButtons& actionButtons() { return *actions_; }

 private:
  std::unique_ptr<ChannelBoxes> channels_;
  ActionButtons* actions_;
};

}  // namespace relay::app
