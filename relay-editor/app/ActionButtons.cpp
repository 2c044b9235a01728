#include "ActionButtons.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace relay::app {

namespace {
constexpr std::array<model::Action, 3> kActions{model::Action::Close, model::Action::Open,
                                                model::Action::Toggle};
const std::array<const char*, 3> kCaptions{"关闭", "打开", "反转"};
}  // namespace

ActionButtons::ActionButtons(QWidget* parent, const std::array<int, 3>& lefts, int top)
    : QObject(parent) {
  group_ = new QButtonGroup(this);
  group_->setExclusive(true);
  for (size_t i = 0; i < buttons_.size(); ++i) {
    auto* button = new QRadioButton(QString::fromUtf8(kCaptions[i]), parent);
    button->setObjectName(QStringLiteral("action%1").arg(i + 1));
    button->move(lefts[i], top);
    button->resize(64, 22);
    group_->addButton(button, static_cast<int>(i));
    buttons_[i] = button;
    connect(button, &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) emit selected(kActions[i]);
    });
  }
}

model::Action ActionButtons::action() const {
  const int id = group_->checkedId();
  return id < 0 ? model::Action::None : kActions[static_cast<size_t>(id)];
}

void ActionButtons::setAction(model::Action action) {
  if (QRadioButton* b = button(action); b != nullptr && !b->isChecked()) b->setChecked(true);
}

QRadioButton* ActionButtons::button(model::Action action) const {
  for (size_t i = 0; i < kActions.size(); ++i)
    if (kActions[i] == action) return buttons_[i];
  return nullptr;
}

}  // namespace relay::app
