#pragma once
// The one way the editor's windows talk to the user in message boxes and file
// dialogs. The Qt implementation shows real boxes; the scripted one answers
// from a list so that tests run without anyone at the screen.

#include <optional>
#include <string>

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

 private:
  std::string applicationTitle_;
};

}  // namespace relay::app
