#include "QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace relay::app {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// A message box is as wide as its text needs, and the window frame cuts a title
// that is wider ("警…"). A spacer row across the box's grid keeps it wide enough.
void FitTitle(QMessageBox& box) {
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(QtDialogs::widthForTitle(box.windowTitle()), 0,
                                  QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

int QtDialogs::widthForTitle(const QString& title) {
  QFont font = QApplication::font();
  font.setBold(true);  // window frames tend to draw titles bold
  font.setPointSizeF(font.pointSizeF() * 1.2);
  // Room for the frame's buttons on either side of the title.
  constexpr int kFrameButtons = 160;
  return QFontMetrics(font).horizontalAdvance(title) + kFrameButtons;
}

QWidget* QtDialogs::boxParent() const { return owner() != nullptr ? owner() : parent_; }

bool QtDialogs::ask(const std::string& title, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, q(title), q(text), QMessageBox::NoButton, boxParent());
  FitTitle(box);
  QPushButton* yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

void QtDialogs::tell(const std::string& title, const std::string& text, MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::Success ? QMessageBox::Information : QMessageBox::Critical,
                  q(title), q(text), QMessageBox::NoButton, boxParent());
  FitTitle(box);
  box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  box.exec();
}

void QtDialogs::showError(const std::string& message) {
  tell(applicationTitle(), message, MessageIcon::Error);
}

QString QtDialogs::toQtFilter(const std::string& filter) {
  const QString text = q(filter);
  const qsizetype bar = text.indexOf(QLatin1Char('|'));
  if (bar < 0) return text;
  QString description = text.left(bar);
  const QString pattern = text.mid(bar + 1);
  // The description shows its own pattern in brackets; Qt reads the last
  // bracketed group as the patterns, so merge ours into it.
  if (description.endsWith(QLatin1Char(')'))) {
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    QString shown = description.mid(open + 1, description.size() - open - 2);
    QStringList patterns = shown.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!patterns.contains(pattern)) patterns << pattern;
    return description.left(open) + QLatin1Char('(') + patterns.join(QLatin1Char(' ')) +
           QLatin1Char(')');
  }
  return description + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

std::optional<std::string> QtDialogs::pickFile(const FileRequest& request, bool save) {
  QFileDialog dialog(boxParent(), q(request.title), q(request.initialFolder),
                     toQtFilter(request.filter));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // "存盘" replaces an existing file of the chosen name without asking.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  QString suffix = q(request.defaultSuffix);
  while (suffix.startsWith(QLatin1Char('*')) || suffix.startsWith(QLatin1Char('.')))
    suffix.remove(0, 1);
  if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
  // The dialog's own captions in the program's language, whether or not
  // Qt's translations are installed.
  dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("查找范围："));
  dialog.setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
  dialog.setLabelText(QFileDialog::FileType, QStringLiteral("文件类型："));
  dialog.setLabelText(QFileDialog::Accept, save ? QStringLiteral("保存") : QStringLiteral("打开"));
  dialog.setLabelText(QFileDialog::Reject, QStringLiteral("取消"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtDialogs::pickFileToOpen(const FileRequest& request) {
  return pickFile(request, false);
}

std::optional<std::string> QtDialogs::pickFileToSave(const FileRequest& request) {
  return pickFile(request, true);
}

}  // namespace relay::app
