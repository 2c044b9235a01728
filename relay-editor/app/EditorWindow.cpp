#include "EditorWindow.h"

#include "TitleBar.h"

#include <QCloseEvent>
#include <QPushButton>

namespace relay::app {

namespace {
const std::array<const char*, 4> kCaptions{"向上插入", "向下插入", "修改", "增加"};
}

EditorWindow::EditorWindow(const QString& title, QSize clientSize, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("editorWindow"));
  setAttribute(Qt::WA_StyledBackground);
  setWindowTitle(title);
  // The client area keeps its size inside a one-pixel frame, so that the
  // editor stands out from the main window behind it.
  setFixedSize(clientSize.width() + 2 * kFrame, clientSize.height() + TitleBar::kHeight + kFrame);
  titleBar_ = new TitleBar(title, this);
  titleBar_->setGeometry(0, 0, width(), TitleBar::kHeight);
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("editorClient"));
  client_->setAttribute(Qt::WA_StyledBackground);
  client_->setGeometry(kFrame, TitleBar::kHeight, clientSize.width(), clientSize.height());
  connect(titleBar_, &TitleBar::closeClicked, this, &EditorWindow::finish);
  for (size_t i = 0; i < buttons_.size(); ++i) {
    auto* button = new QPushButton(QString::fromUtf8(kCaptions[i]), client_);
    button->setObjectName(QStringLiteral("actionButton"));
    button->setFixedSize(80, 30);
    const int mode = kButtonModes[i];
    connect(button, &QPushButton::clicked, this, [this, mode] { emit actionRequested(mode); });
    buttons_[i] = button;
  }
  setDefaultMode(0);
}

void EditorWindow::setDefaultMode(int mode) {
  defaultMode_ = mode;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    // Only the default button takes Enter, whichever field has the focus.
    buttons_[i]->setAutoDefault(false);
    buttons_[i]->setDefault(kButtonModes[i] == mode);
  }
}

QPushButton* EditorWindow::buttonForMode(int mode) const {
  for (size_t i = 0; i < kButtonModes.size(); ++i)
    if (kButtonModes[i] == mode) return buttons_[i];
  return nullptr;
}

void EditorWindow::placeActionButtons(int top, const std::array<int, 4>& lefts) {
  for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->move(lefts[i], top);
}

void EditorWindow::showCentredOver(QWidget* over) {
  if (over != nullptr) {
    const QRect frame = over->frameGeometry();
    move(frame.center() - QPoint(width() / 2, height() / 2));
  }
  // Disabling the main window disables the windows it owns as well; a window
  // may be enabled again on its own.
  setEnabled(true);
  show();
  raise();
  activateWindow();
}

void EditorWindow::finish() {
  if (!isVisible()) return;
  hide();
  emit closed();
}

void EditorWindow::closeEvent(QCloseEvent* event) {
  // The editors live for the whole run: closing only hides them.
  event->ignore();
  finish();
}

void EditorWindow::reject() { finish(); }

}  // namespace relay::app
