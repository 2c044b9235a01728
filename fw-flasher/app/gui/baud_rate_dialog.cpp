#include "app/gui/baud_rate_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/qt_text.h"
#include "app/project/baud_table.h"
#include "messages/message_id.h"

namespace fw {
namespace {

QComboBox* BaudList(int selected, QWidget* parent) {
  auto* list = new QComboBox(parent);
  for (int rate : kBaudTable) list->addItem(QString::number(rate));
  list->setCurrentIndex(selected);
  return list;
}

}  // namespace

BaudRateDialog::BaudRateDialog(int language, int lowest_index, int highest_index, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("baudRateDialog"));
  setWindowTitle(MessageText(kMsgBaudrateDialog, language));
  lowest_ = BaudList(lowest_index, this);
  highest_ = BaudList(highest_index, this);
  auto* form = new QFormLayout;
  form->addRow(new QLabel(MessageText(kMsgMinBaudLabel, language), this), lowest_);
  form->addRow(new QLabel(MessageText(kMsgMaxBaudLabel, language), this), highest_);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(MessageText(kMsgOk, language), QDialogButtonBox::AcceptRole);
  buttons->addButton(MessageText(kMsgCancel, language), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

int BaudRateDialog::lowest_index() const { return lowest_->currentIndex(); }
int BaudRateDialog::highest_index() const { return highest_->currentIndex(); }

}  // namespace fw
