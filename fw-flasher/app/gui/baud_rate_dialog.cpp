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

BaudRateDialog::BaudRateDialog(int language, int lowest_index, int highest_index, Warning warning,
                               QWidget* parent)
    : QDialog(parent), warning_(std::move(warning)) {
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

  warning_label_ = new QLabel(this);
  warning_label_->setObjectName(QStringLiteral("baudWarning"));
  warning_label_->setWordWrap(true);
  QPalette warning_colours = warning_label_->palette();
  warning_colours.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
  warning_label_->setPalette(warning_colours);
  connect(lowest_, &QComboBox::currentIndexChanged, this, &BaudRateDialog::ShowWarning);
  connect(highest_, &QComboBox::currentIndexChanged, this, &BaudRateDialog::ShowWarning);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(warning_label_);
  layout->addWidget(buttons);
  ShowWarning();
}

void BaudRateDialog::ShowWarning() {
  const auto rate = [](const QComboBox* list) {
    const int i = list->currentIndex();
    return i >= 0 && i < static_cast<int>(kBaudTable.size())
               ? kBaudTable[static_cast<std::size_t>(i)]
               : 0;
  };
  const std::string text = warning_ ? warning_(rate(lowest_), rate(highest_)) : std::string();
  warning_label_->setText(Utf8Text(text));
  warning_label_->setVisible(!text.empty());
}

int BaudRateDialog::lowest_index() const { return lowest_->currentIndex(); }
int BaudRateDialog::highest_index() const { return highest_->currentIndex(); }

}  // namespace fw
