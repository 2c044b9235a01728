#include "app/gui/qt_output_sinks.h"

#include <algorithm>

#include <QApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextCursor>

#include "app/gui/gui_thread.h"
#include "app/gui/qt_text.h"

namespace fw {
namespace {

// Set on a log whose last piece ended in CR: the LF that may follow belongs to it.
constexpr const char* kPendingCarriageReturn = "pendingCarriageReturn";
// Set on a log whose last piece ended in a tab: tabs that follow join it.
constexpr const char* kPendingTab = "pendingTab";

}  // namespace

void AppendToLog(QPlainTextEdit& log, QString text) {
  if (log.property(kPendingCarriageReturn).toBool() && text.startsWith(QLatin1Char('\n')))
    text.remove(0, 1);
  // The steps pad their timing with two or three tabs after texts of any
  // width; one tab to the log's single tab stop puts every timing in one column.
  static const QRegularExpression kTabRun(QStringLiteral("\t+"));
  text.replace(kTabRun, QStringLiteral("\t"));
  if (log.property(kPendingTab).toBool()) {
    while (text.startsWith(QLatin1Char('\t'))) text.remove(0, 1);
  }
  if (!text.isEmpty()) log.setProperty(kPendingTab, text.endsWith(QLatin1Char('\t')));
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
    log->setProperty(kPendingTab, false);
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
