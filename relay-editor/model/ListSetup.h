#pragma once
// The three-column report list of the main window, as data.

#include <array>
#include <string>
#include <string_view>

namespace relay::model {

enum class ColumnWidthRule {
  Fixed,      // minimum = maximum = pixels
  ListWidth,  // minimum = maximum = the list control's width
  Default,    // the list's default column width
};

struct ListColumn {
  std::string_view caption;  // caption at set-up
  ColumnWidthRule widthRule;
  int pixels;  // for Fixed
};

// "序号" (position), "指令清单" (listing text), "数据" (hex text).
inline constexpr std::array<ListColumn, 3> kListColumns{{
    {"序号", ColumnWidthRule::Fixed, 50},
    {"指令清单", ColumnWidthRule::ListWidth, 0},
    {"数据", ColumnWidthRule::Default, 0},
}};

// Index of the column whose caption becomes the capacity caption.
inline constexpr int kCapacityCaptionColumn = 1;

// "指令清单（ 扇区容量 : 8 / 512 ）" for a total of 8.
std::string CapacityCaption(int total);

}  // namespace relay::model
