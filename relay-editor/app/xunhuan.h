#pragma once
// The loop editor "编程  -> 指令循环": a repeat count with the two boxes
// "无效" (0) and "一直维持" (65535) coupled to it.

#include "EditorWindow.h"
#include "model/EditorFields.h"

class QCheckBox;
class QSpinBox;

namespace relay::app {

// What the two boxes show for a repeat count.
struct LoopBoxes {
  bool invalid;
  bool keepForever;
};
LoopBoxes LoopBoxesFor(int count);

class TForm3 : public EditorWindow {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* parent = nullptr);

  model::LoopFields fields() const;
  void setFields(const model::LoopFields& fields);

  bool decodeEntry(std::string_view hexText) override;
  model::Encoded encodeFields() const override;

  QSpinBox* valueBox() const { return value_; }
  QCheckBox* invalidBox() const { return invalid_; }
  QCheckBox* foreverBox() const { return forever_; }

 private:
  void valueChanged(int value);

  QSpinBox* value_;
  QCheckBox* invalid_;
  QCheckBox* forever_;
};

}  // namespace relay::app
