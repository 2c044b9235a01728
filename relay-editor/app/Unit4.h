#pragma once
// The serial-trigger editor "编程  -> 串口类指令".

#include "ActionButtons.h"
#include "ChannelBoxes.h"
#include "EditorWindow.h"
#include "model/EditorFields.h"

#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace relay::app {

// The pattern field's text after the "HEX" box was clicked: the characters'
// GBK bytes as hex text when it is now ticked, the characters of the bytes
// when it is now cleared. Nothing when the bytes are no text (the view then
// stays HEX).
std::optional<std::string> SwitchPatternView(const std::string& pattern, bool nowHex);

class Tpanduan : public EditorWindow {
  Q_OBJECT
 public:
  explicit Tpanduan(QWidget* parent = nullptr);

  model::SerialTriggerFields fields() const;
  // Sets the fields in the order channels, action, hold, output mode,
  // output, "HEX", pattern, with the effects of each selection.
  void setFields(const model::SerialTriggerFields& fields);

  bool decodeEntry(std::string_view hexText) override;
  model::Encoded encodeFields() const override;

  ChannelBoxes& channelBoxes() { return *channels_; }
  ActionButtons& actionButtons() { return *actions_; }
  QCheckBox* hexBox() const { return hex_; }
  QLineEdit* patternField() const { return pattern_; }
  QComboBox* holdBox() const { return hold_; }
  QComboBox* outputModeBox() const { return outputMode_; }
  QLineEdit* outputField() const { return output_; }

 private:
  void hexClicked(bool ticked);
  void actionSelected(model::Action action);
  void outputModeSelected(int mode);

  QCheckBox* hex_;
  QLineEdit* pattern_;
  ActionButtons* actions_;
  QComboBox* hold_;
  QComboBox* outputMode_;
  QLineEdit* output_;
  std::unique_ptr<ChannelBoxes> channels_;
};

}  // namespace relay::app
