#include "app/gui/flasher_dialog.h"

#include <algorithm>

#include <QComboBox>
#include <QEventLoop>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QThread>
#include <QToolTip>

#include "app/gui/baud_rate_dialog.h"
#include "app/gui/dialog_layout.h"
#include "app/gui/gui_thread.h"
#include "app/gui/log_view.h"
#include "app/gui/qt_output_sinks.h"
#include "app/gui/qt_text.h"
#include "app/gui/result_panel.h"
#include "app/gui/serial_validator.h"
#include "app/project/project.h"
#include "app/run/app_dialogs.h"
#include "app/run/download_run.h"
#include "app/run/port_devices.h"
#include "app/run/port_list.h"
#include "app/run/profile.h"
#include "app/run/serial_numbers.h"
#include "app/run/window_actions.h"
#include "messages/message_table.h"

namespace fw {
namespace {

// The window's size before the user changes it: 281 x 203 dialog units of its
// 9-point font, raised to the size every control needs.
constexpr int kInitialWidth = 422;
constexpr int kInitialHeight = 305;
// How long the port list waits for the devices to settle after a change.
constexpr int kPortRefreshQuietMs = 200;
constexpr int kTooltipShowMs = 30000;
constexpr int kProgressRange = 100;
// How often a close looks whether the stopped worker has ended.
constexpr int kWorkerEndPollMs = 10;
// Between a label's text and the field it names.
constexpr int kLabelPadding = 4;
// The log keeps this many lines at the window's smallest size.
constexpr int kMinimumLogLines = 5;
// How long a refused serial number's message stays beside its edit.
constexpr int kRefusalShowMs = 6000;

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei"),
                    QStringLiteral("AR PL UMing CN")});
  font.setPointSize(9);
  return font;
}

// The window's icon: a chip with its pins.
QIcon ChipIcon() {
  QPixmap picture(32, 32);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 2));
  for (int y = 8; y <= 24; y += 4) {
    painter.drawLine(3, y, 8, y);
    painter.drawLine(24, y, 29, y);
  }
  painter.setBrush(QColor(0x20, 0x20, 0x20));
  painter.drawRoundedRect(8, 4, 16, 24, 2, 2);
  painter.setBrush(QColor(0xE0, 0xB0, 0x30));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(11, 7, 4, 4);
  return QIcon(picture);
}

// A colour kept as 0x00BBGGRR: red in the low byte.
QColor FromColorRef(int colour_ref) {
  const auto value = static_cast<std::uint32_t>(colour_ref);
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

void Place(QWidget* widget, const ControlRect& r) {
  widget->setGeometry(r.x, r.y, r.width, r.height);
}

}  // namespace

FlasherDialog::FlasherDialog(const FlasherDialogParts& parts, QWidget* parent)
    : QDialog(parent), parts_(parts) {
  setObjectName(QStringLiteral("flasherDialog"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("项目发布"));
  setFont(DialogFont());
  setSizeGripEnabled(true);

  start_once_ = new QPushButton(this);
  stop_ = new QPushButton(this);
  stop_->setEnabled(false);
  start_repeat_ = new QPushButton(this);
  start_third_ = new QPushButton(this);
  baud_settings_ = new QPushButton(this);
  for (QPushButton* button : {start_once_, stop_, start_repeat_, start_third_, baud_settings_})
    button->setAutoDefault(false);
  panel_ = new ResultPanel(this);
  port_label_ = new QLabel(this);
  port_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  port_label_->setContentsMargins(0, 0, kLabelPadding, 0);
  port_list_ = new QComboBox(this);
  port_list_->setEditable(false);
  for (int row = 0; row < 2; ++row) {
    serial_labels_[row] = new QLabel(this);
    serial_labels_[row]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    serial_labels_[row]->setContentsMargins(0, 0, kLabelPadding, 0);
    serial_labels_[row]->hide();
    serial_edits_[row] = new QLineEdit(this);
    serial_edits_[row]->hide();
  }
  log_ = new QPlainTextEdit(this);
  SetUpLog(*log_, parts_.language);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, kProgressRange);
  progress_->setValue(0);
  progress_->setTextVisible(true);
  progress_->setFormat(QStringLiteral("%p%"));
  counter_ = new QLabel(this);
  counter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  reset_ = new QPushButton(this);
  reset_->setAutoDefault(false);

  log_sink_ = std::make_unique<QtLogSink>(log_);
  progress_sink_ = std::make_unique<QtProgressSink>(progress_);
  sound_sink_ = std::make_unique<QtSoundSink>(this);
  run_ = std::make_unique<DownloadRun>(parts_.project, *parts_.profile, *this, *parts_.dialogs,
                                       parts_.language);
  // The writers the port list shows are the ones the USB writer flow opens.
  if (parts_.usb_writers != nullptr) run_->SetUsbWriterBus(*parts_.usb_writers);
  run_->SetSerialWrap(parts_.serial_wrap);
  LinkOutputs& outputs = run_->link().outputs;
  outputs.log_sink = log_sink_.get();
  outputs.progress_sink = progress_sink_.get();
  outputs.sound_sink = sound_sink_.get();
  outputs.echo = nullptr;
  actions_ =
      std::make_unique<WindowActions>(*run_, *parts_.dialogs, parts_.project, parts_.language);
  SetUpSerialEdits();

  connect(start_once_, &QPushButton::clicked, this, [this] { StartDownload(RunMode::kOnce); });
  connect(start_repeat_, &QPushButton::clicked, this,
          [this] { StartDownload(RunMode::kRepeated); });
  connect(start_third_, &QPushButton::clicked, this, [this] { StartDownload(RunMode::kBoard); });
  connect(stop_, &QPushButton::clicked, this, &FlasherDialog::StopDownload);
  connect(baud_settings_, &QPushButton::clicked, this, &FlasherDialog::EditBaudRates);
  connect(reset_, &QPushButton::clicked, this, &FlasherDialog::ResetPassCounter);
  port_refresh_.setSingleShot(true);
  port_refresh_.setInterval(kPortRefreshQuietMs);
  connect(&port_refresh_, &QTimer::timeout, this, &FlasherDialog::RefreshPortList);

  // Five lines of the log's font, inside its frame and the text's margins.
  minimum_log_height_ = kMinimumLogLines * log_->fontMetrics().lineSpacing() +
                        2 * log_->frameWidth() +
                        2 * static_cast<int>(log_->document()->documentMargin()) + 2;
  const ClientSize minimum = MinimumClientSize(SerialRowCount(), minimum_log_height_);
  setMinimumSize(minimum.width, minimum.height);
  resize(std::max(kInitialWidth, minimum.width), std::max(kInitialHeight, minimum.height));
}

FlasherDialog::~FlasherDialog() {
  // The worker's waits for this thread give up on the stop, so joining here
  // cannot hang; what it still posts is dropped with the window.
  run_->StopDownload();
  run_->WaitUntilIdle();
  // The edits outlive this part of the window (a focus change while they go
  // validates again): their rule goes first.
  for (QLineEdit* edit : serial_edits_) {
    edit->setValidator(nullptr);
    edit->disconnect(this);
  }
}

int FlasherDialog::SerialRowCount() const {
  if (parts_.project == nullptr) return 0;
  int rows = 0;
  for (const SerialNumberSettings& serial : parts_.project->serial_numbers)
    if (serial.enabled) ++rows;
  return rows;
}

void FlasherDialog::InitDialog() {
  setWindowIcon(ChipIcon());
  // The baud indexes, the repeat delay and the quiet flag are the run's, taken
  // from the project when it was made.
  if (parts_.project != nullptr) {
    label_colour_ = parts_.project->string_settings.label_colour;
    third_button_visible_ = !parts_.project->String(ProjectStringId::kStartThirdCaption).empty();
  }
  // The serial numbers (LoadSerials) and the pass counter, shown.
  run_->Initialise();

  for (QWidget* tipped :
       {static_cast<QWidget*>(start_once_), static_cast<QWidget*>(baud_settings_)})
    tipped->setToolTipDuration(kTooltipShowMs);
  WatchDevices();
  RefreshPortList();
  SetTexts();
  SetBusyHere(false);
  panel_->Show(IdleStatus(parts_.language));
  layout_ready_ = true;
  Layout();
  if (parts_.project != nullptr && parts_.project->string_settings.auto_start)
    StartDownload(RunMode::kOnce);
}

void FlasherDialog::SetTexts() {
  const Project* p = parts_.project;
  const int language = parts_.language;
  auto project_text = [p](ProjectStringId id) {
    return p != nullptr ? GbkText(p->String(id)) : QString();
  };
  setWindowTitle(project_text(ProjectStringId::kTitle));
  start_once_->setText(project_text(ProjectStringId::kStartOnceCaption));
  if (p != nullptr) {
    for (int n = 0; n < SerialNumbers::kCount; ++n) {
      const std::optional<SerialEdit> edit = SerialEditOf(*p, n);
      if (!edit) continue;
      serial_labels_[Row(*edit)]->setText(
          project_text(n == 0 ? ProjectStringId::kSerial1Label : ProjectStringId::kSerial2Label));
    }
  }
  log_->setPlainText(WithLineFeeds(project_text(ProjectStringId::kInitialLog)));
  start_repeat_->setText(project_text(ProjectStringId::kStartRepeatCaption));
  start_third_->setText(project_text(ProjectStringId::kStartThirdCaption));
  start_third_->setVisible(third_button_visible_);
  port_label_->setText(MessageText(kMsgComPortLabel, language));
  stop_->setText(MessageText(kMsgStopButton, language));
  baud_settings_->setText(MessageText(kMsgHelpButton, language));
  reset_->setText(MessageText(kMsgResetButton, language));
  counter_->setToolTip(MessageText(kMsgPassCounterLabel, language));
  baud_settings_->setToolTip(TipText(kMsgHelpButton, language));
  start_once_->setToolTip(TipText(kMsgDownloadButton, language));

  QPalette label_palette = serial_labels_[0]->palette();
  label_palette.setColor(QPalette::WindowText, FromColorRef(label_colour_));
  for (QLabel* label : serial_labels_) label->setPalette(label_palette);
}

void FlasherDialog::Layout() {
  if (!layout_ready_) return;
  const int rows = SerialRowCount();
  const DialogLayout l = ComputeDialogLayout(width(), height(), rows, minimum_log_height_);
  Place(start_once_, l.start_once);
  Place(stop_, l.stop);
  Place(start_repeat_, l.start_repeat);
  Place(start_third_, l.start_third);
  Place(baud_settings_, l.baud_settings);
  Place(panel_, l.result_panel);
  Place(port_label_, l.port_label);
  Place(port_list_, l.port_list);
  for (int row = 0; row < 2; ++row) {
    const bool shown = row < l.serial_row_count;
    serial_labels_[row]->setVisible(shown);
    serial_edits_[row]->setVisible(shown);
    if (!shown) continue;
    Place(serial_labels_[row], l.serial_rows[static_cast<std::size_t>(row)].label);
    Place(serial_edits_[row], l.serial_rows[static_cast<std::size_t>(row)].edit);
  }
  Place(log_, l.log);
  Place(progress_, l.progress);
  Place(counter_, l.counter);
  Place(reset_, l.reset);
}

void FlasherDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  Layout();
}

void FlasherDialog::SetBusy(bool busy) {
  if (QThread::currentThread() == thread()) return SetBusyHere(busy);
  PostToGui(this, [this, busy] { SetBusyHere(busy); });
}

void FlasherDialog::SetBusyHere(bool busy) {
  busy_ = busy;
  for (QWidget* control :
       {static_cast<QWidget*>(port_list_), static_cast<QWidget*>(baud_settings_),
        static_cast<QWidget*>(serial_edits_[0]), static_cast<QWidget*>(serial_edits_[1]),
        static_cast<QWidget*>(start_once_), static_cast<QWidget*>(start_repeat_),
        static_cast<QWidget*>(start_third_)})
    control->setEnabled(!busy);
  stop_->setEnabled(busy);
}

void FlasherDialog::ShowPassCounter(std::uint32_t count) {
  if (QThread::currentThread() == thread()) return ShowPassCounterHere(count);
  PostToGui(this, [this, count] { ShowPassCounterHere(count); });
}

void FlasherDialog::ShowPassCounterHere(std::uint32_t count) {
  counter_->setText(QString::number(count));
}

std::function<bool()> FlasherDialog::GiveUpOnStop() const {
  return [run = run_.get()] { return run->stop_requested(); };
}

bool FlasherDialog::stop_requested() const { return run_->stop_requested(); }

int FlasherDialog::lowest_baud_index() const { return run_->lowest_baud_index(); }

int FlasherDialog::highest_baud_index() const { return run_->highest_baud_index(); }

std::string FlasherDialog::SerialText(SerialEdit edit) {
  // Given up on a stop: the empty text, which no download that follows uses.
  const auto text = CallOnGui<std::string>(
      this, [this, edit] { return serial_edits_[Row(edit)]->text().toStdString(); },
      GiveUpOnStop());
  return text.value_or(std::string());
}

void FlasherDialog::ShowSerialText(SerialEdit edit, std::string_view text) {
  const QString shown = Utf8Text(text);
  const auto show = [this, edit, shown] {
    showing_serial_ = true;
    serial_edits_[Row(edit)]->setText(shown);
    showing_serial_ = false;
  };
  if (QThread::currentThread() == thread()) return show();
  PostToGui(this, show);
}

void FlasherDialog::SetUpSerialEdits() {
  for (int row = 0; row < 2; ++row) {
    const auto edit = static_cast<SerialEdit>(row);
    serial_validators_[row] = new SerialValidator(
        [this, edit](const QString& text) {
          return actions_->CheckSerialText(edit, text.toStdString(), SelectedLinkKind());
        },
        this);
    serial_edits_[row]->setValidator(serial_validators_[row]);
    connect(serial_edits_[row], &QLineEdit::inputRejected, this,
            [this, row] { ShowSerialRefusal(row); });
  }
}

void FlasherDialog::ShowSerialRefusal(int row) {
  if (showing_serial_) return;
  QLineEdit* edit = serial_edits_[row];
  const QString& refusal = serial_validators_[row]->last_refusal();
  if (refusal.isEmpty()) return;
  QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), refusal, edit, QRect(),
                     kRefusalShowMs);
}

LinkKind FlasherDialog::SelectedLinkKind() const {
  const int index = port_list_->currentIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= port_entries_.size())
    return LinkKind::kSerialPort;
  return port_entries_[static_cast<std::size_t>(index)].kind;
}

void FlasherDialog::ShowRunStatus(const RunStatus& status) {
  if (QThread::currentThread() == thread()) return ShowRunStatusHere(status);
  PostToGui(this, [this, status] { ShowRunStatusHere(status); });
}

void FlasherDialog::ShowRunStatusHere(const RunStatus& status) {
  const auto under_way = [](RunPhase phase) {
    return phase == RunPhase::kWaiting || phase == RunPhase::kRunning;
  };
  // A new download starts with an empty bar, whatever the last one left.
  if (under_way(status.phase) && !under_way(panel_->phase())) progress_sink_->SetPosition(0);
  panel_->Show(status);
  // The bar moves by itself while the download waits for the chip; the steps
  // fill it after; a download that passed leaves it full.
  if (status.phase == RunPhase::kWaiting) {
    progress_->setRange(0, 0);
    return;
  }
  progress_->setRange(0, kProgressRange);
  if (status.phase == RunPhase::kPassed) progress_sink_->SetPosition(kProgressRange);
}

std::optional<PortEntry> FlasherDialog::SelectedPort() {
  const auto entry = CallOnGui<std::optional<PortEntry>>(
      this,
      [this]() -> std::optional<PortEntry> {
        const int index = port_list_->currentIndex();
        if (index < 0 || static_cast<std::size_t>(index) >= port_entries_.size())
          return std::nullopt;
        return port_entries_[static_cast<std::size_t>(index)];
      },
      GiveUpOnStop());
  return entry.value_or(std::nullopt);
}

void FlasherDialog::StartDownload(RunMode run_mode) { run_->StartDownload(run_mode); }

void FlasherDialog::StopDownload() {
  run_->StopDownload();
  emit stopRequested();
}

void FlasherDialog::EditBaudRates() {
  BaudRateDialog dialog(
      parts_.language, run_->lowest_baud_index(), run_->highest_baud_index(),
      [this](int lowest, int highest) { return actions_->BaudWarning(lowest, highest); }, this);
  if (dialog.exec() != QDialog::Accepted) return;
  run_->SetBaudIndexes(dialog.lowest_index(), dialog.highest_index());
}

void FlasherDialog::ResetPassCounter() { actions_->ResetPassCounter(); }

void FlasherDialog::WatchDevices() {
  if (parts_.device_monitor == nullptr || parts_.device_monitor->Fd() < 0) return;
  device_notifier_ = new QSocketNotifier(parts_.device_monitor->Fd(), QSocketNotifier::Read, this);
  connect(device_notifier_, &QSocketNotifier::activated, this, [this] {
    // Devices come in bursts (a USB adapter brings its interface and its tty):
    // the list is rebuilt once they have been quiet for a moment.
    if (parts_.device_monitor->TakeEvents()) port_refresh_.start();
  });
}

void FlasherDialog::RefreshPortList() {
  const PortChoice choice = PortChoiceOf(parts_.project, parts_.profile, parts_.command_line_port);
  PortList list = parts_.serial_devices != nullptr
                      ? fw::RefreshPortList(*parts_.serial_devices, parts_.usb_writers, choice)
                      : BuildPortList({}, 0, choice);
  port_entries_ = std::move(list.entries);
  port_list_->clear();
  for (const PortEntry& entry : port_entries_) port_list_->addItem(Utf8Text(entry.display_text));
  port_list_->setCurrentIndex(list.selected);
}

void FlasherDialog::reject() {
  if (closing_) return;
  closing_ = true;
  const WindowActions::Close close = actions_->RequestClose();
  if (close == WindowActions::Close::kStay) {
    closing_ = false;
    return;
  }
  if (close == WindowActions::Close::kAfterStop) {
    // The worker uses the link, the profile and these controls: the window
    // closes only once it has ended (the link's own time-outs end it within
    // seconds).
    setEnabled(false);
    StopDownload();
  }
  // A run that ended while its question was open has still to be joined.
  WaitForWorker();
  setEnabled(true);
  closing_ = false;
  QDialog::reject();
}

void FlasherDialog::WaitForWorker() {
  if (run_->busy()) {
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
      if (!run_->busy()) loop.quit();
    });
    poll.start(kWorkerEndPollMs);
    loop.exec();
  }
  run_->WaitUntilIdle();
}

}  // namespace fw
