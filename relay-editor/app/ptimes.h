#pragma once
// The timer editor "编程  -> 定时器".

#include "EditorWindow.h"
#include "model/EditorFields.h"

class QSpinBox;

namespace relay::app {

class Ttimers : public EditorWindow {
  Q_OBJECT
 public:
  explicit Ttimers(QWidget* parent = nullptr);

  model::TimerFields fields() const;
  void setFields(const model::TimerFields& fields);

  bool decodeEntry(std::string_view hexText) override;
  model::Encoded encodeFields() const override;

  QSpinBox* valueBox() const { return value_; }

 private:
  QSpinBox* value_;
};

}  // namespace relay::app
