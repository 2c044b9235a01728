#include "app/gui/log_view.h"

#include <algorithm>
#include <array>

#include <QFontMetrics>
#include <QPlainTextEdit>

#include "app/gui/qt_text.h"
#include "messages/message_table.h"

namespace fw {
namespace {

// The step texts a timing follows, and the outcomes between the two.
constexpr std::array kTimedSteps = {
    kMsgAdjustingFrequency, kMsgRehandshaking,    kMsgErasing,           kMsgProgrammingCode,
    kMsgProgrammingOptions, kMsgCleaningUserData, kMsgPreparingDownload,
};
constexpr std::array kTimedOutcomes = {kMsgSuccessfulElapsed, kMsgOkElapsed};
// Between the widest text and its timing.
constexpr int kGapCharacters = 2;

int Widest(const QFontMetrics& metrics, int language, auto ids, bool up_to_tab) {
  int widest = 0;
  for (const int id : ids) {
    QString text = MessageText(id, language);
    if (up_to_tab) text = text.left(text.indexOf(QLatin1Char('\t')));
    widest = std::max(widest, metrics.horizontalAdvance(text));
  }
  return widest;
}

}  // namespace

int TimingColumn(const QFontMetrics& metrics, int language) {
  return Widest(metrics, language, kTimedSteps, false) +
         Widest(metrics, language, kTimedOutcomes, true) +
         kGapCharacters * metrics.horizontalAdvance(QLatin1Char(' '));
}

void SetUpLog(QPlainTextEdit& log, int language) {
  log.setReadOnly(true);
  log.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log.setLineWrapMode(QPlainTextEdit::WidgetWidth);
  log.setTabStopDistance(TimingColumn(log.fontMetrics(), language));
}

}  // namespace fw
