#pragma once
// The one way the editor's windows talk to the user in message boxes and file
// dialogs. The Qt implementation shows real boxes; the tests' scripted one answers
// from a list so that tests run without anyone at the screen.

#include <optional>
#include <string>

class QWidget;

namespace relay::app {

enum class MessageIcon { Success, Error };

struct FileRequest {
  std::string title;          // dialog title, empty for the system's own
  std::string filter;         // "Description(*.EXT)|*.ext"
  std::string initialFolder;  // empty: the dialog's choice
  std::string defaultSuffix;  // ".vyl" or "*.vyl"
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Question with the buttons "是" and "否"; true only on "是".
  virtual bool ask(const std::string& title, const std::string& text) = 0;
  // Message box with one OK button.
  virtual void tell(const std::string& title, const std::string& text, MessageIcon icon) = 0;
  // The application's error box: titled with the application title.
  virtual void showError(const std::string& message) = 0;
  // File dialogs; nothing when the user cancels.
  virtual std::optional<std::string> pickFileToOpen(const FileRequest& request) = 0;
  virtual std::optional<std::string> pickFileToSave(const FileRequest& request) = 0;
  // The title of the application's error box.
  virtual void setApplicationTitle(const std::string& title) { applicationTitle_ = title; }
  const std::string& applicationTitle() const { return applicationTitle_; }
  // The window that the boxes shown from now on belong to and give the focus
  // back to: an editor while its action runs. Null: the main window.
  void setOwner(QWidget* owner) { owner_ = owner; }
  QWidget* owner() const { return owner_; }

 private:
  std::string applicationTitle_;
  QWidget* owner_ = nullptr;
};

// Makes `owner` the owner of the boxes shown while it lives.
class DialogOwner {
 public:
  DialogOwner(Dialogs& dialogs, QWidget* owner) : dialogs_(dialogs), before_(dialogs.owner()) {
    dialogs_.setOwner(owner);
  }
  ~DialogOwner() { dialogs_.setOwner(before_); }
  DialogOwner(const DialogOwner&) = delete;
  DialogOwner& operator=(const DialogOwner&) = delete;

 private:
  Dialogs& dialogs_;
  QWidget* before_;
};

}  // namespace relay::app
