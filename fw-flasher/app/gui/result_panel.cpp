#include "app/gui/result_panel.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

#include "app/gui/qt_text.h"

namespace fw {
namespace {

// The large word's height in pixels: most of the 32 pixels of the top row.
constexpr int kHeadlinePixels = 22;
constexpr int kInnerMargin = 8;

QColor Ink(RunPhase phase) {
  switch (phase) {
    case RunPhase::kIdle:
    case RunPhase::kWaiting:
      return QColor(0x20, 0x20, 0x20);
    default:
      return Qt::white;
  }
}

}  // namespace

QColor ResultPanel::Ground(RunPhase phase) {
  switch (phase) {
    case RunPhase::kIdle:
      return QColor(0xE4, 0xE4, 0xE4);
    case RunPhase::kWaiting:
      return QColor(0xF2, 0xC2, 0x3A);  // amber
    case RunPhase::kRunning:
      return QColor(0x1E, 0x5F, 0xB4);  // blue
    case RunPhase::kPassed:
      return QColor(0x1B, 0x8A, 0x3A);  // green
    case RunPhase::kFailed:
      return QColor(0xC6, 0x28, 0x28);  // red
    case RunPhase::kStopped:
      return QColor(0x6E, 0x6E, 0x6E);
  }
  return Qt::gray;
}

ResultPanel::ResultPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("resultPanel"));
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  headline_ = new QLabel(this);
  QFont big = font();
  big.setPixelSize(kHeadlinePixels);
  big.setBold(true);
  headline_->setFont(big);
  headline_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  detail_ = new QLabel(this);
  detail_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  detail_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(kInnerMargin, 0, kInnerMargin, 0);
  row->setSpacing(kInnerMargin);
  row->addWidget(headline_);
  row->addWidget(detail_, 1);
  Show(RunStatus{});
}

void ResultPanel::Show(const RunStatus& status) {
  status_ = status;
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Ground(status.phase));
  colours.setColor(QPalette::WindowText, Ink(status.phase));
  setPalette(colours);
  headline_->setText(Utf8Text(status.headline));
  // The whole line where it does not fit.
  setToolTip(Utf8Text(status.detail));
  ElideDetail();
  emit statusShown();
}

void ResultPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  ElideDetail();
}

void ResultPanel::ElideDetail() {
  const QString whole = Utf8Text(status_.detail);
  detail_->setText(detail_->fontMetrics().elidedText(whole, Qt::ElideRight, detail_->width()));
}

}  // namespace fw
