#include "app/gui/error_box.h"

#include <QMessageBox>

namespace fw {

void ShowError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("错误"), text, QMessageBox::NoButton,
                  parent);
  box.setObjectName(QStringLiteral("errorBox"));
  box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  box.exec();
}

}  // namespace fw
