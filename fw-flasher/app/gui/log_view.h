// The log edit as the window sets it up: read-only with its scroll bar, and one
// tab stop far enough right that the timing every step logs after its text
// (behind a tab) stands in one column.
#pragma once

class QFontMetrics;
class QPlainTextEdit;

namespace fw {

// The x position of the timing column in the font: beyond the widest step
// text of the language followed by its widest outcome ("OK !", "Successful").
int TimingColumn(const QFontMetrics& metrics, int language);

// The log's reading only and its tab stop for the language.
void SetUpLog(QPlainTextEdit& log, int language);

}  // namespace fw
