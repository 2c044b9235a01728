#include "TitleBar.h"

#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QWindow>

namespace relay::app {

void MoveWindowOnPress(QWidget* window, QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || window == nullptr) return;
  if (QWindow* handle = window->window()->windowHandle()) handle->startSystemMove();
}

TitleBar::TitleBar(const QString& title, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("titleBar"));
  setAttribute(Qt::WA_StyledBackground);
  setFixedHeight(kHeight);
  title_ = new QLabel(title, this);
  title_->setObjectName(QStringLiteral("titleText"));
  title_->setAttribute(Qt::WA_TransparentForMouseEvents);
  close_ = new QToolButton(this);
  close_->setObjectName(QStringLiteral("closeButton"));
  close_->setToolTip(QStringLiteral("关闭"));
  close_->setFixedSize(30, 22);
  close_->setFocusPolicy(Qt::NoFocus);
  connect(close_, &QToolButton::clicked, this, &TitleBar::closeClicked);
}

void TitleBar::setTitle(const QString& title) { title_->setText(title); }
QString TitleBar::title() const { return title_->text(); }

void TitleBar::mousePressEvent(QMouseEvent* event) { MoveWindowOnPress(this, event); }

void TitleBar::resizeEvent(QResizeEvent*) {
  title_->setGeometry(12, 0, width() - 60, height());
  close_->move(width() - close_->width() - 6, (height() - close_->height()) / 2);
}

}  // namespace relay::app
