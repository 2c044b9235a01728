// The result panel beside the top row of buttons: where the run stands in one
// large word on a coloured ground that an operator reads from a metre away
// (ready, waiting, running, PASS in green, FAIL in red, stopped), and one line
// beside it with the step, or the result in words and the serial numbers
// written. The result is kept until the next download starts.
#pragma once

#include <QColor>
#include <QFrame>

#include "app/run/run_status.h"

class QLabel;

namespace fw {

class ResultPanel final : public QFrame {
  Q_OBJECT
 public:
  explicit ResultPanel(QWidget* parent = nullptr);

  void Show(const RunStatus& status);

  RunPhase phase() const { return status_.phase; }
  const RunStatus& status() const { return status_; }
  QLabel* headline() const { return headline_; }
  QLabel* detail() const { return detail_; }
  // The ground the phase is shown on.
  static QColor Ground(RunPhase phase);

 signals:
  // Each status shown, in order (status() tells which).
  void statusShown();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ElideDetail();

  RunStatus status_;
  QLabel* headline_;
  QLabel* detail_;
};

}  // namespace fw
