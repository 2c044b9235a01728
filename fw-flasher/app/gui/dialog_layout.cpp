#include "app/gui/dialog_layout.h"

#include <algorithm>

namespace fw {
namespace {

constexpr int kMargin = 5;
constexpr int kTopRowY = 5;
constexpr int kTopRowHeight = 32;
constexpr int kRowHeight = 20;
constexpr int kLabelWidth = 80;
constexpr int kFieldX = 85;  // where the port list and the edits begin
constexpr int kPortRowY = 45;
constexpr int kSerialRowStep = 25;  // one serial-number row
constexpr int kLogTopWithoutRows = 70;
constexpr int kBottomRowOffset = 25;  // the bottom row's top, above the lower edge
// The log ends 30 pixels above the lower edge: the bottom row and its gap.
constexpr int kBelowLog = 30;
// The top row's last button ends at 505; the result panel follows after the
// gap between the buttons and keeps the margin to the edge.
constexpr int kPanelX = 510;
constexpr int kMinimumWidth = kPanelX + kMinimumPanelWidth + kMargin;

}  // namespace

ClientSize MinimumClientSize(int serial_rows, int minimum_log_height) {
  const int rows = std::clamp(serial_rows, 0, 2);
  const int log_height = std::max(minimum_log_height, kDefaultMinimumLogHeight);
  return {kMinimumWidth, kLogTopWithoutRows + rows * kSerialRowStep + log_height + kBelowLog};
}

DialogLayout ComputeDialogLayout(int width, int height, int serial_rows, int minimum_log_height) {
  const int rows = std::clamp(serial_rows, 0, 2);
  const ClientSize minimum = MinimumClientSize(rows, minimum_log_height);
  const int w = std::max(width, minimum.width);
  const int h = std::max(height, minimum.height);

  DialogLayout l;
  l.start_once = {5, kTopRowY, 100, kTopRowHeight};
  l.stop = {110, kTopRowY, 80, kTopRowHeight};
  l.start_repeat = {195, kTopRowY, 100, kTopRowHeight};
  l.start_third = {300, kTopRowY, 100, kTopRowHeight};
  l.baud_settings = {405, kTopRowY, 100, kTopRowHeight};
  l.result_panel = {kPanelX, kTopRowY, w - kPanelX - kMargin, kTopRowHeight};
  l.port_label = {kMargin, kPortRowY, kLabelWidth, kRowHeight};
  l.port_list = {kFieldX, kPortRowY, w - 90, kRowHeight};

  l.serial_row_count = rows;
  for (int k = 0; k < rows; ++k) {
    const int y = kPortRowY + kSerialRowStep * (k + 1);
    l.serial_rows[static_cast<std::size_t>(k)] = {{kMargin, y, kLabelWidth, kRowHeight},
                                                  {kFieldX, y, w - 90, kRowHeight}};
  }
  const int b = kSerialRowStep * rows;
  l.log = {kMargin, b + kLogTopWithoutRows, w - 10, h - b - 100};
  l.progress = {kMargin, h - kBottomRowOffset, w - 95, kRowHeight};
  l.counter = {w - 85, h - kBottomRowOffset, 38, kRowHeight};
  l.reset = {w - 45, h - kBottomRowOffset, 40, kRowHeight};
  return l;
}

}  // namespace fw
