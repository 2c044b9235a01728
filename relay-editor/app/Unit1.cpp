#include "Unit1.h"

#include "DeviceCommands.h"
#include "Dialogs.h"
#include "IO.h"
#include "TitleBar.h"
#include "Unit4.h"
#include "model/EditorChoice.h"
#include "model/ListSetup.h"
#include "ptimes.h"
#include "xunhuan.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSizeGrip>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QUndoStack>
#include <QWindow>

#include <exception>

namespace relay::app {

namespace {

constexpr int kRightPartWidth = 281;
constexpr int kProgressHeight = 17;
// The window may be made larger than its 800 x 600, and smaller only as far as
// the buttons and the settings page keep their places.
constexpr QSize kMinimumSize(720, 540);
// How near the window's edge a press resizes it instead of moving it.
constexpr int kResizeBorder = 6;

// The edges of `rect` within kResizeBorder of `point`.
Qt::Edges EdgesAt(const QRect& rect, const QPoint& point) {
  Qt::Edges edges;
  if (point.x() < kResizeBorder) edges |= Qt::LeftEdge;
  if (point.x() >= rect.width() - kResizeBorder) edges |= Qt::RightEdge;
  if (point.y() < kResizeBorder) edges |= Qt::TopEdge;
  if (point.y() >= rect.height() - kResizeBorder) edges |= Qt::BottomEdge;
  return edges;
}

const QStringList& BaudRates() {
  static const QStringList rates{"300",   "600",   "1200",  "2400",  "4800",  "9600",
                                 "14400", "19200", "38400", "56000", "57600", "115200"};
  return rates;
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// Tabs that carry a picture of 144 x 64 instead of a caption.
class PictureTabBar : public QTabBar {
 public:
  using QTabBar::QTabBar;

 protected:
  QSize tabSizeHint(int) const override { return {144, 64}; }
  QSize minimumTabSizeHint(int) const override { return {144, 64}; }
};

class PictureTabs : public QTabWidget {
 public:
  explicit PictureTabs(QWidget* parent) : QTabWidget(parent) { setTabBar(new PictureTabBar(this)); }
};

// A tab's picture, drawn darker on the selected tab.
QIcon TabPicture(const QString& name) {
  QIcon icon;
  icon.addFile(QStringLiteral(":/skin/tab-%1-off.png").arg(name), QSize(144, 64), QIcon::Normal,
               QIcon::Off);
  icon.addFile(QStringLiteral(":/skin/tab-%1-on.png").arg(name), QSize(144, 64), QIcon::Normal,
               QIcon::On);
  return icon;
}

QPushButton* Button(const QString& caption, QWidget* parent, int x, int y, int w, int h) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(x, y, w, h);
  return button;
}

}  // namespace

template <typename F>
void TForm1::guarded(F&& operation) {
  try {
    operation();
  } catch (const std::exception& error) {
    dialogs_.showError(error.what());
  }
}

TForm1::TForm1(Dialogs& dialogs, StartupOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      dialogs_(dialogs),
      options_(std::move(options)),
      commands_(program_, dialogs_, options_.programFolder),
      device_(std::make_unique<DeviceCommands>(program_, commands_.history(), dialogs_)) {
  setObjectName(QStringLiteral("TForm1"));
  setAttribute(Qt::WA_StyledBackground);
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  setMinimumSize(kMinimumSize);
  resize(800, 600);

  pages_ = new PictureTabs(this);
  pages_->setObjectName(QStringLiteral("pages"));
  pages_->setDocumentMode(true);
  pages_->setIconSize(QSize(144, 64));
  page1_ = new QWidget;
  page1_->setObjectName(QStringLiteral("page1"));
  auto* page2 = new QWidget;
  page2->setObjectName(QStringLiteral("page2"));
  pages_->addTab(page1_, TabPicture(QStringLiteral("program")), QString());
  pages_->addTab(page2, TabPicture(QStringLiteral("settings")), QString());
  pages_->setTabToolTip(0, QStringLiteral("编程"));
  pages_->setTabToolTip(1, QStringLiteral("通讯设置"));
  buildPage1(page1_);
  buildPage2(page2);

  titleLabel_ = new QLabel(this);
  titleLabel_->setObjectName(QStringLiteral("mainTitle"));
  titleLabel_->setGeometry(424, 16, 305, 32);
  titleLabel_->setAlignment(Qt::AlignCenter);
  minimise_ = new QToolButton(this);
  minimise_->setObjectName(QStringLiteral("minimiseButton"));
  minimise_->setToolTip(QStringLiteral("最小化"));
  minimise_->setFocusPolicy(Qt::NoFocus);
  close_ = new QToolButton(this);
  close_->setObjectName(QStringLiteral("closeButton"));
  close_->setToolTip(QStringLiteral("关闭"));
  close_->setFocusPolicy(Qt::NoFocus);
  maximise_ = new QToolButton(this);
  maximise_->setObjectName(QStringLiteral("maximiseButton"));
  maximise_->setToolTip(QStringLiteral("最大化"));
  maximise_->setCheckable(true);
  maximise_->setFocusPolicy(Qt::NoFocus);
  connect(minimise_, &QToolButton::clicked, this, &QWidget::showMinimized);
  connect(maximise_, &QToolButton::clicked, this, &TForm1::toggleMaximised);
  connect(close_, &QToolButton::clicked, this, &QWidget::close);
  auto* grip = new QSizeGrip(this);
  grip->setObjectName(QStringLiteral("sizeGrip"));
  grip->resize(16, 16);

  for (QWidget* w : {static_cast<QWidget*>(this), page1_, page2, static_cast<QWidget*>(titleLabel_),
                     rightPart_, bottomRow_, static_cast<QWidget*>(pages_->tabBar())})
    w->installEventFilter(this);

  program_.SetChangeListener([this] { refreshList(); });
  commands_.history().onChanged = [this] { updateTitle(); };
  addListActions();
  device_->onProgress = [this](int value, int maximum) {
    progress_->setMaximum(maximum);
    progress_->setValue(value);
  };
  device_->onProgressText = [this](const std::string& text) {
    progress_->setFormat(q(text));
    progress_->setTextVisible(!text.empty());
  };
  device_->onPortState = [this](const std::string& caption, bool portBoxesEnabled) {
    portButton_->setText(q(caption));
    port_->setEnabled(portBoxesEnabled);
    baud_->setEnabled(portBoxesEnabled);
  };
  device_->setAddress(address_->value());
  connect(address_, &QSpinBox::valueChanged, this,
          [this](int value) { device_->setAddress(value); });
  // Received data and the serial threads' notices arrive through the queue.
  auto* notifier = new QSocketNotifier(device_->queueDescriptor(), QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this,
          [this] { guarded([this] { device_->drainQueue(); }); });

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  startUp();

  // The editors live, hidden, for the whole run, owned by the main window.
  io_ = std::make_unique<TForm2>(this);
  timer_ = std::make_unique<Ttimers>(this);
  loop_ = std::make_unique<TForm3>(this);
  trigger_ = std::make_unique<Tpanduan>(this);
  const std::pair<QString, EditorWindow*> editorButtons[] = {
      {QStringLiteral("IO类动作"), io_.get()},
      {QStringLiteral("定时器"), timer_.get()},
      {QStringLiteral("循环类动作"), loop_.get()},
      {QStringLiteral("串口类动作"), trigger_.get()},
  };
  for (const auto& [caption, editor] : editorButtons) {
    connect(button(caption), &QPushButton::clicked, this, [this, editor] { openEditor(*editor); });
    connect(editor, &EditorWindow::actionRequested, this,
            [this, editor](int mode) { editorAction(*editor, mode); });
    connect(editor, &EditorWindow::closed, this, [this] {
      setEnabled(true);
      activateWindow();
    });
  }
}

TForm1::~TForm1() {
  commands_.history().onChanged = nullptr;
  program_.SetChangeListener(nullptr);
}

void TForm1::addListActions() {
  // Ctrl+Z and Ctrl+Y (and the list's context menu) undo and redo every change of the
  // list; Delete removes the selected entry as "删除" does.
  QUndoStack& stack = commands_.history().stack();
  undo_ = stack.createUndoAction(this, QStringLiteral("撤销"));
  undo_->setShortcuts({QKeySequence::Undo});
  redo_ = stack.createRedoAction(this, QStringLiteral("重做"));
  // Ctrl+Y and the platform's own redo keys, each once.
  QList<QKeySequence> redoKeys{QKeySequence(Qt::CTRL | Qt::Key_Y)};
  for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Redo))
    if (!redoKeys.contains(key)) redoKeys << key;
  redo_->setShortcuts(redoKeys);
  delete_ = new QAction(QStringLiteral("删除"), this);
  delete_->setShortcut(QKeySequence::Delete);
  delete_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(delete_, &QAction::triggered, this, [this] { commands_.deleteSelected(); });
  for (QAction* action : {undo_, redo_}) {
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
  }
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  list_->addActions({undo_, redo_, separator, delete_});
  list_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TForm1::buildPage1(QWidget* page) {
  list_ = new QTreeWidget(page);
  list_->setObjectName(QStringLiteral("programList"));
  list_->setColumnCount(3);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setTextElideMode(Qt::ElideRight);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setAlternatingRowColors(true);
  QStringList captions;
  for (const auto& column : model::kListColumns) captions << q(std::string(column.caption));
  list_->setHeaderLabels(captions);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionsMovable(false);
  list_->header()->setSectionsClickable(false);
  list_->header()->setSectionResizeMode(0, QHeaderView::Fixed);
  list_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  list_->header()->setSectionResizeMode(2, QHeaderView::Fixed);
  list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->viewport()->installEventFilter(this);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &TForm1::listSelectionChanged);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &TForm1::listDoubleClicked);

  rightPart_ = new QWidget(page);
  rightPart_->setObjectName(QStringLiteral("rightPart"));
  auto* optimise = Button(QStringLiteral("优化指令"), rightPart_, 0, 8, 88, 46);
  optimise->setObjectName(QStringLiteral("bigButton"));
  auto* panel = new QWidget(rightPart_);
  panel->setObjectName(QStringLiteral("buttonPanel"));
  panel->setAttribute(Qt::WA_StyledBackground);
  panel->setGeometry(0, 64, kRightPartWidth - 8, 318);
  panel->installEventFilter(this);
  const struct {
    const char* caption;
    int x, y;
  } panelButtons[] = {{"IO类动作", 40, 16},    {"定时器", 168, 16}, {"串口类动作", 40, 64},
                      {"循环类动作", 168, 64}, {"上移", 40, 120},   {"下移", 40, 168},
                      {"删除", 40, 224},       {"读入", 168, 224},  {"清除", 40, 272},
                      {"存盘", 168, 272}};
  for (const auto& b : panelButtons) Button(QString::fromUtf8(b.caption), panel, b.x, b.y, 80, 30);

  bottomRow_ = new QWidget(rightPart_);
  bottomRow_->setObjectName(QStringLiteral("bottomRow"));
  auto* read = Button(QStringLiteral("从设备读取"), bottomRow_, 0, 0, 88, 46);
  auto* write = Button(QStringLiteral("全部写入"), bottomRow_, 96, 0, 88, 46);
  auto* erase = Button(QStringLiteral("清除扇区"), bottomRow_, 192, 0, 88, 46);
  for (auto* b : {read, write, erase}) b->setObjectName(QStringLiteral("deviceButton"));

  progress_ = new QProgressBar(page);
  progress_->setObjectName(QStringLiteral("blockProgress"));
  progress_->setRange(0, 32);
  progress_->setValue(0);
  progress_->setTextVisible(false);

  connect(optimise, &QPushButton::clicked, this,
          [this] { guarded([this] { commands_.optimise(); }); });
  connect(button(QStringLiteral("上移")), &QPushButton::clicked, this, [this] {
    commands_.moveUp();
    list_->setFocus();
  });
  connect(button(QStringLiteral("下移")), &QPushButton::clicked, this, [this] {
    commands_.moveDown();
    list_->setFocus();
  });
  connect(button(QStringLiteral("删除")), &QPushButton::clicked, this,
          [this] { commands_.deleteSelected(); });
  connect(button(QStringLiteral("清除")), &QPushButton::clicked, this,
          [this] { commands_.clear(); });
  connect(button(QStringLiteral("存盘")), &QPushButton::clicked, this,
          [this] { guarded([this] { commands_.save(); }); });
  connect(button(QStringLiteral("读入")), &QPushButton::clicked, this,
          [this] { guarded([this] { commands_.load(); }); });
  connect(read, &QPushButton::clicked, this, [this] { guarded([this] { readFromDevice(); }); });
  connect(write, &QPushButton::clicked, this, [this] { guarded([this] { writeAll(); }); });
  connect(erase, &QPushButton::clicked, this,
          [this] { guarded([this] { device_->eraseSector(); }); });
}

void TForm1::buildPage2(QWidget* page) {
  auto* panel = new QWidget(page);
  panel->setObjectName(QStringLiteral("settingsPanel"));
  panel->setAttribute(Qt::WA_StyledBackground);
  panel->setGeometry(240, 64, 329, 377);
  panel->installEventFilter(this);
  (new QLabel(QStringLiteral("串口号"), panel))->move(40, 72);
  port_ = new QComboBox(panel);
  port_->setObjectName(QStringLiteral("portBox"));
  port_->setEditable(true);
  port_->setInsertPolicy(QComboBox::NoInsert);
  port_->setGeometry(88, 64, 105, 28);
  (new QLabel(QStringLiteral("波特率"), panel))->move(40, 112);
  baud_ = new QComboBox(panel);
  baud_->setObjectName(QStringLiteral("baudBox"));
  baud_->addItems(BaudRates());
  baud_->setCurrentIndex(5);
  baud_->setGeometry(88, 104, 105, 28);
  (new QLabel(QStringLiteral("地    址"), panel))->move(40, 150);
  address_ = new QSpinBox(panel);
  address_->setObjectName(QStringLiteral("addressBox"));
  address_->setRange(0, 255);
  address_->setValue(255);
  address_->setGeometry(88, 142, 105, 28);
  autoOpen_ = new QCheckBox(QStringLiteral("启动后自动打开串口"), panel);
  autoOpen_->setObjectName(QStringLiteral("autoOpen"));
  autoOpen_->move(48, 192);
  autoOptimise_ = new QCheckBox(QStringLiteral("写入指令时自动优化清单中的指令"), panel);
  autoOptimise_->setObjectName(QStringLiteral("autoOptimise"));
  autoOptimise_->move(48, 224);
  portButton_ = Button(QStringLiteral("打开串口"), panel, 208, 67, 80, 57);
  portButton_->setObjectName(QStringLiteral("portButton"));
  connect(portButton_, &QPushButton::clicked, this,
          [this] { guarded([this] { portButtonClicked(); }); });
}

void TForm1::resizeEvent(QResizeEvent*) {
  pages_->setGeometry(rect());
  close_->setGeometry(width() - 36, 10, 28, 24);
  maximise_->setGeometry(width() - 66, 10, 28, 24);
  minimise_->setGeometry(width() - 96, 10, 28, 24);
  // The title stays centred in the band left of the window's buttons.
  titleLabel_->setGeometry(424 + (width() - 800) / 2, 16, 305, 32);
  if (auto* grip = findChild<QSizeGrip*>(QStringLiteral("sizeGrip"))) {
    grip->move(width() - grip->width(), height() - grip->height());
    grip->raise();
  }
  titleLabel_->raise();
  minimise_->raise();
  maximise_->raise();
  close_->raise();
  updateTitle();
  layoutPage1();
}

void TForm1::toggleMaximised() {
  if (isMaximized())
    showNormal();
  else
    showMaximized();
}

void TForm1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    maximise_->setChecked(isMaximized());
    maximise_->setToolTip(isMaximized() ? QStringLiteral("还原") : QStringLiteral("最大化"));
  }
  QWidget::changeEvent(event);
}

void TForm1::sizeColumns() {
  // Position, listing text and hex text all in sight: the hex column takes a third
  // of the list, the listing text the rest; what is cut shows whole in its tooltip.
  const int width = list_->viewport()->width();
  list_->setColumnWidth(0, 50);
  list_->setColumnWidth(2, std::max(120, (width - 50) / 3));
}

void TForm1::updateTitle() {
  const QString title =
      q(MainWindowTitle(programTitle_, commands_.projectFile(), commands_.modified()));
  setWindowTitle(title);
  titleLabel_->setText(
      titleLabel_->fontMetrics().elidedText(title, Qt::ElideMiddle, titleLabel_->width()));
  titleLabel_->setToolTip(title);
}

void TForm1::layoutPage1() {
  const int w = page1_->width();
  const int h = page1_->height();
  const int rightLeft = w - kRightPartWidth;
  const int rightHeight = h - kProgressHeight - 10;
  rightPart_->setGeometry(rightLeft, 0, kRightPartWidth, rightHeight);
  bottomRow_->setGeometry(0, rightHeight - 46 - 4, kRightPartWidth, 46);
  progress_->setGeometry(rightLeft, h - kProgressHeight - 5, 280, kProgressHeight);
  list_->setGeometry(5, 0, rightLeft - 5 - 24, h - 42);
}

void TForm1::startUp() {
  try {
    WriteDefaultSettingsIfMissing(options_.settings.readFrom);
    QStringList ports;
    for (const auto& name : options_.systemPorts) ports << q(name);
    for (int i = 1; i <= 256; ++i) ports << QStringLiteral("COM%1").arg(i);
    port_->addItems(ports);
    ReadSettingsFile(options_.settings.readFrom, *this);
    program_.Clear();
    commands_.history().reset();
    refreshList();
    pages_->setCurrentIndex(0);
    if (autoOpen_->isChecked()) portButtonClicked();
    if (!options_.arguments.empty()) commands_.loadAtStartup(options_.arguments.front());
  } catch (const std::exception& error) {
    dialogs_.showError(error.what());
  }
}

QPushButton* TForm1::button(const QString& caption) const {
  for (auto* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}

void TForm1::refreshList() {
  refreshing_ = true;
  const auto& entries = program_.Entries();
  while (list_->topLevelItemCount() > static_cast<int>(entries.size()))
    delete list_->takeTopLevelItem(list_->topLevelItemCount() - 1);
  for (size_t i = 0; i < entries.size(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(i));
    if (item == nullptr) item = new QTreeWidgetItem(list_);
    item->setText(0, QString::number(entries[i].position));
    item->setText(1, q(entries[i].listingText));
    item->setText(2, q(entries[i].hexText));
    item->setToolTip(1, item->text(1));
    item->setToolTip(2, item->text(2));
  }
  list_->headerItem()->setText(model::kCapacityCaptionColumn, q(program_.CapacityCaption()));
  const auto selection = program_.Selection();
  list_->clearSelection();
  if (selection && *selection < entries.size()) {
    QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(*selection));
    list_->setCurrentItem(item);
    item->setSelected(true);
    list_->scrollToItem(item);
  }
  refreshing_ = false;
  updateTitle();
}

void TForm1::listSelectionChanged() {
  if (refreshing_) return;
  const auto selected = list_->selectedItems();
  if (selected.isEmpty()) {
    program_.Select(std::nullopt);
  } else {
    program_.Select(static_cast<size_t>(list_->indexOfTopLevelItem(selected.first())));
  }
}

void TForm1::listDoubleClicked() {
  const model::ProgramEntry* entry = program_.Selected();
  if (entry == nullptr) return;
  if (const auto kind = model::EditorForEntry(entry->hexText))
    button(q(std::string(model::EditorButtonCaption(*kind))))->click();
}

void TForm1::openEditor(EditorWindow& editor) {
  bool filled = false;
  if (const model::ProgramEntry* entry = program_.Selected())
    filled = editor.decodeEntry(entry->hexText);
  // Opened on an entry of its kind, Enter changes that entry; otherwise it adds.
  editor.setDefaultMode(filled ? static_cast<int>(model::StoreMode::Change)
                               : static_cast<int>(model::StoreMode::Add));
  setEnabled(false);
  editor.showCentredOver(this);
}

void TForm1::editorAction(EditorWindow& editor, int mode) {
  // Its boxes belong to the editor and give the focus back to it.
  const DialogOwner owner(dialogs_, &editor);
  guarded([&] {
    if (commands_.storeFromEditor(editor.encodeFields(), mode)) editor.finish();
  });
}

void TForm1::portButtonClicked() {
  device_->pressPortButton(port_->currentText().toStdString(), baud_->currentText().toStdString());
}

void TForm1::readFromDevice() {
  // With the port closed the read only says so; nothing is discarded, nothing asked.
  if (device_->isOpen() && !commands_.mayDiscard()) return;
  // The list then holds what the device sends, which no project file has:
  // replacing the entries marks it modified.
  device_->readFromDevice();
}

void TForm1::writeAll() { device_->writeAll(autoOptimise_->isChecked()); }

SettingsValues TForm1::currentSettings() const {
  SettingsValues v;
  v.port = port_->currentText().toStdString();
  v.baudIndex = baud_->currentIndex();
  v.address = address_->value();
  v.autoOpen = autoOpen_->isChecked();
  v.autoOptimise = autoOptimise_->isChecked();
  return v;
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!commands_.mayDiscard()) {
    event->ignore();
    return;
  }
  guarded([this] { WriteSettingsFile(options_.settings.writeTo, currentSettings()); });
  device_->closePort();
  for (EditorWindow* editor :
       std::initializer_list<EditorWindow*>{io_.get(), timer_.get(), loop_.get(), trigger_.get()})
    editor->hide();
  event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    if (watched == page1_) layoutPage1();
    if (watched == list_->viewport()) sizeColumns();
  }
  const bool onFreeArea = watched != list_->viewport();
  if (event->type() == QEvent::MouseButtonDblClick && onFreeArea && watched != pages_->tabBar()) {
    toggleMaximised();
    return true;
  }
  if (event->type() == QEvent::MouseButtonPress && onFreeArea) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const bool onTab =
        watched == pages_->tabBar() && pages_->tabBar()->tabAt(mouse->position().toPoint()) >= 0;
    if (!onTab) {
      // The borderless window is resized at its edges and moved by the rest.
      const QPoint inWindow =
          static_cast<QWidget*>(watched)->mapTo(this, mouse->position().toPoint());
      const Qt::Edges edges = EdgesAt(rect(), inWindow);
      if (mouse->button() == Qt::LeftButton && edges && !isMaximized() && windowHandle() &&
          windowHandle()->startSystemResize(edges))
        return true;
      MoveWindowOnPress(this, mouse);
      if (watched != pages_->tabBar()) return false;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::setTitle(const std::string& title) {
  programTitle_ = title;
  updateTitle();
  // The application title heads the error box. It is not made the
  // application's display name, which the platform would append to the
  // title of every window and message box.
  dialogs_.setApplicationTitle(title);
}

void TForm1::setPort(const std::string& port) { port_->setCurrentText(q(port)); }

void TForm1::setBaudIndex(int index) {
  // An index outside the list leaves the box as it is.
  if (index >= 0 && index < baud_->count()) baud_->setCurrentIndex(index);
}

void TForm1::setAddress(int address) { address_->setValue(address); }
void TForm1::setAutoOpen(bool on) { autoOpen_->setChecked(on); }
void TForm1::setAutoOptimise(bool on) { autoOptimise_->setChecked(on); }

}  // namespace relay::app
