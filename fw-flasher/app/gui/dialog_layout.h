// Where the flasher window's controls go, in pixels of its client area: a
// fixed top row with the result panel beside it taking the rest of the width,
// the port list and up to two serial-number rows stretched to the width, the
// log taking the rest of the height, and the bottom row following the lower
// edge.
#pragma once

#include <array>

namespace fw {

struct ControlRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const ControlRect&, const ControlRect&) = default;
};

struct SerialRowRects {
  ControlRect label;
  ControlRect edit;
};

struct DialogLayout {
  // The top row.
  ControlRect start_once;     // 1046
  ControlRect stop;           // 1044
  ControlRect start_repeat;   // 1047
  ControlRect start_third;    // 1048
  ControlRect baud_settings;  // 1001
  // Beside the top row, in the width the row leaves free.
  ControlRect result_panel;
  ControlRect port_label;  // 1173
  ControlRect port_list;   // 1009
  // Row 0 holds label 1176 and edit 1000, row 1 label 1177 and edit 1003;
  // only the first serial_rows rows are shown.
  std::array<SerialRowRects, 2> serial_rows{};
  int serial_row_count = 0;
  ControlRect log;       // 1136
  ControlRect progress;  // 1005
  ControlRect counter;   // 1007
  ControlRect reset;     // 1006
};

struct ClientSize {
  int width = 0;
  int height = 0;
};

// The log's height when the window gives it no more.
inline constexpr int kDefaultMinimumLogHeight = 50;
// The result panel's width when the window gives it no more.
inline constexpr int kMinimumPanelWidth = 270;

// The smallest client area in which every control keeps a positive size: the
// top row and the result panel fit, and the log is minimum_log_height high.
ClientSize MinimumClientSize(int serial_rows, int minimum_log_height = kDefaultMinimumLogHeight);

// serial_rows: 0, 1 or 2, the enabled serial numbers of a loaded project (0
// when none was loaded). width and height are raised to the minimum first.
DialogLayout ComputeDialogLayout(int width, int height, int serial_rows,
                                 int minimum_log_height = kDefaultMinimumLogHeight);

}  // namespace fw
