#include "app/gui/qt_output_sinks.h"

#include <algorithm>

#include <QApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextCursor>

#include "app/gui/gui_thread.h"
#include "app/gui/qt_text.h"

namespace fw {
namespace {

// Set on a log whose last piece ended in CR: the LF that may follow belongs to it.
constexpr const char* kPendingCarriageReturn = "pendingCarriageReturn";

}  // namespace

void AppendToLog(QPlainTextEdit& log, QString text) {
  if (log.property(kPendingCarriageReturn).toBool() && text.startsWith(QLatin1Char('\n')))
    text.remove(0, 1);
  log.setProperty(kPendingCarriageReturn, text.endsWith(QLatin1Char('\r')));
  QTextCursor end = log.textCursor();
  end.movePosition(QTextCursor::End);
  end.insertText(WithLineFeeds(text));
  log.setTextCursor(end);
  log.verticalScrollBar()->setValue(log.verticalScrollBar()->maximum());
}

void QtLogSink::Clear() {
  PostToGui(log_, [log = log_] {
    log->clear();
    log->setProperty(kPendingCarriageReturn, false);
  });
}

void QtLogSink::Append(std::string_view text) {
  PostToGui(log_, [log = log_, piece = Utf8Text(text)] { AppendToLog(*log, piece); });
}

void QtProgressSink::SetPosition(int percent) {
  const int position = std::clamp(percent, 0, 100);
  if (last_.exchange(position) == position) return;
  PostToGui(bar_, [bar = bar_, position] { bar->setValue(position); });
}

void QtSoundSink::Beep(BeepKind) {
  PostToGui(context_, [] { QApplication::beep(); });
}

}  // namespace fw
