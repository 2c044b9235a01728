// The baud-rate settings dialog: the lowest and the highest baud index chosen
// from the same ten rates. A lowest rate above the highest is warned about
// under the lists, and OK stores it all the same.
#pragma once

#include <functional>
#include <string>

#include <QDialog>

class QComboBox;
class QLabel;

namespace fw {

class BaudRateDialog final : public QDialog {
  Q_OBJECT
 public:
  // The warning for the chosen rates (lowest, highest); empty for none.
  using Warning = std::function<std::string(int lowest_rate, int highest_rate)>;
  BaudRateDialog(int language, int lowest_index, int highest_index, Warning warning,
                 QWidget* parent = nullptr);

  int lowest_index() const;
  int highest_index() const;
  QComboBox* lowest_list() const { return lowest_; }
  QComboBox* highest_list() const { return highest_; }
  QLabel* warning_label() const { return warning_label_; }

 private:
  void ShowWarning();

  Warning warning_;
  QLabel* warning_label_;
  QComboBox* lowest_;   // 1010
  QComboBox* highest_;  // 1011
};

}  // namespace fw
