// The baud-rate settings dialog: the lowest and the highest baud index chosen
// from the same ten rates. Nothing checks that the lowest is below the highest.
#pragma once

#include <QDialog>

class QComboBox;

namespace fw {

class BaudRateDialog final : public QDialog {
  Q_OBJECT
 public:
  BaudRateDialog(int language, int lowest_index, int highest_index, QWidget* parent = nullptr);

  int lowest_index() const;
  int highest_index() const;
  QComboBox* lowest_list() const { return lowest_; }
  QComboBox* highest_list() const { return highest_; }

 private:
  QComboBox* lowest_;   // 1010
  QComboBox* highest_;  // 1011
};

}  // namespace fw
