#pragma once
// The three exclusive action radio buttons "关闭", "打开", "反转", none
// selected at first.

#include "model/Instruction.h"

#include <QObject>

#include <array>

class QButtonGroup;
class QRadioButton;
class QWidget;

namespace relay::app {

class ActionButtons : public QObject {
  Q_OBJECT
 public:
  ActionButtons(QWidget* parent, const std::array<int, 3>& lefts, int top);

  model::Action action() const;
  // Selects the action's button; None leaves the selection as it is. A
  // button that is already selected is not selected again.
  void setAction(model::Action action);
  QRadioButton* button(model::Action action) const;

 signals:
  // The user or setAction selected a different action.
  void selected(model::Action action);

 private:
  QButtonGroup* group_;
  std::array<QRadioButton*, 3> buttons_{};
};

}  // namespace relay::app
