#pragma once
// The main window "VYL 编程软件": page 1 holds the Program list with the
// editor, list, project-file and device buttons, page 2 the serial-port
// settings. It creates the four editors, runs the start-up sequence and
// writes the settings file when it closes.

#include "ProgramCommands.h"
#include "SettingsFile.h"
#include "model/ProgramList.h"

#include <QWidget>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QTreeWidget;

namespace relay::app {

class Dialogs;
class DeviceCommands;
class EditorWindow;
class TForm2;
class TForm3;
class Tpanduan;
class Ttimers;

struct StartupOptions {
  SettingsFiles settings;                // VYL_config.ini, read at start, written at close
  std::filesystem::path programFolder;   // initial folder of "读入"
  std::vector<std::string> arguments;    // command-line arguments after the program name
  std::vector<std::string> systemPorts;  // the system's serial devices, listed first
};

class TForm1 : public QWidget, private SettingsSink {
  Q_OBJECT
 public:
  TForm1(Dialogs& dialogs, StartupOptions options, QWidget* parent = nullptr);
  ~TForm1() override;

  // Page 1.
  QTreeWidget* list() const { return list_; }
  QPushButton* button(const QString& caption) const;  // any button by its caption
  QProgressBar* progressBar() const { return progress_; }
  QTabWidget* pages() const { return pages_; }
  QLabel* titleLabel() const { return titleLabel_; }
  // Page 2.
  QComboBox* portBox() const { return port_; }
  QComboBox* baudBox() const { return baud_; }
  QSpinBox* addressBox() const { return address_; }
  QCheckBox* autoOpenBox() const { return autoOpen_; }
  QCheckBox* autoOptimiseBox() const { return autoOptimise_; }
  QPushButton* portButton() const { return portButton_; }
  // The title bar's buttons and the undo actions (Ctrl+Z, Ctrl+Y, the list's menu).
  QToolButton* maximiseButton() const { return maximise_; }
  QAction* undoAction() const { return undo_; }
  QAction* redoAction() const { return redo_; }
  QAction* deleteAction() const { return delete_; }

  TForm2* ioEditor() const { return io_.get(); }
  Ttimers* timerEditor() const { return timer_.get(); }
  TForm3* loopEditor() const { return loop_.get(); }
  Tpanduan* triggerEditor() const { return trigger_.get(); }

  model::ProgramList& program() { return program_; }
  ProgramCommands& commands() { return commands_; }
  DeviceCommands& device() { return *device_; }
  SettingsValues currentSettings() const;
  const SettingsFiles& settingsFiles() const { return options_.settings; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void buildPage1(QWidget* page);
  void buildPage2(QWidget* page);
  void layoutPage1();
  void sizeColumns();
  void updateTitle();
  void toggleMaximised();
  void addListActions();
  void startUp();
  void refreshList();
  void listSelectionChanged();
  void listDoubleClicked();
  void openEditor(EditorWindow& editor);
  void editorAction(EditorWindow& editor, int mode);
  void portButtonClicked();
  void readFromDevice();
  void writeAll();
  // Runs an operation; an error it raises is shown in the error box.
  template <typename F>
  void guarded(F&& operation);

  // SettingsSink
  void setTitle(const std::string& title) override;
  void setPort(const std::string& port) override;
  void setBaudIndex(int index) override;
  void setAddress(int address) override;
  void setAutoOpen(bool on) override;
  void setAutoOptimise(bool on) override;

  Dialogs& dialogs_;
  StartupOptions options_;
  model::ProgramList program_;
  ProgramCommands commands_;
  std::unique_ptr<DeviceCommands> device_;
  bool refreshing_ = false;
  std::string programTitle_;  // from the settings file

  QTabWidget* pages_ = nullptr;
  QLabel* titleLabel_ = nullptr;
  QToolButton* minimise_ = nullptr;
  QToolButton* maximise_ = nullptr;
  QToolButton* close_ = nullptr;
  QWidget* page1_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QWidget* rightPart_ = nullptr;
  QWidget* bottomRow_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QComboBox* port_ = nullptr;
  QComboBox* baud_ = nullptr;
  QSpinBox* address_ = nullptr;
  QCheckBox* autoOpen_ = nullptr;
  QCheckBox* autoOptimise_ = nullptr;
  QPushButton* portButton_ = nullptr;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  QAction* delete_ = nullptr;

  std::unique_ptr<TForm2> io_;
  std::unique_ptr<Ttimers> timer_;
  std::unique_ptr<TForm3> loop_;
  std::unique_ptr<Tpanduan> trigger_;
};

}  // namespace relay::app
