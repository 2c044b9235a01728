#pragma once
// The frame the four editors share: a frameless dialog with its own title
// bar, a client area of fixed size, the four action buttons in one row and
// the way it opens over the main window and hides again. The main window owns
// it, so the window manager keeps it above the main window and raises it with
// it; Enter presses its default action button, Escape closes it.

#include "model/Encoders.h"

#include <QDialog>

#include <array>
#include <string_view>

class QPushButton;

namespace relay::app {

class TitleBar;

class EditorWindow : public QDialog {
  Q_OBJECT
 public:
  // The four buttons from left to right with the Store mode each passes.
  static constexpr std::array<int, 4> kButtonModes{2, 3, 1, 0};

  // `owner` is the main window.
  EditorWindow(const QString& title, QSize clientSize, QWidget* owner = nullptr);

  QWidget* client() const { return client_; }
  TitleBar* titleBar() const { return titleBar_; }
  // "向上插入", "向下插入", "修改", "增加".
  QPushButton* actionButton(int index) const { return buttons_[static_cast<size_t>(index)]; }
  QPushButton* buttonForMode(int mode) const;

  // Shows the window centred over `over`, which stays disabled while it is open.
  void showCentredOver(QWidget* over);
  // The button Enter presses: "修改" when the editor was filled from the
  // selected entry, "增加" otherwise.
  void setDefaultMode(int mode);
  int defaultMode() const { return defaultMode_; }

  // Fills the fields from an entry of this editor's kind; false, leaving
  // the fields as they were, for any other entry.
  virtual bool decodeEntry(std::string_view hexText) = 0;
  // The fields as an Instruction, or the encoder's refusal.
  virtual model::Encoded encodeFields() const = 0;

 signals:
  // An action button was pressed; the owner stores and calls finish().
  void actionRequested(int mode);
  // The window was hidden, by its close button or after a stored action.
  void closed();

 public slots:
  void finish();

 protected:
  // Places the action buttons at `top` with the given left edges.
  void placeActionButtons(int top, const std::array<int, 4>& lefts);
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  static constexpr int kFrame = 1;

  TitleBar* titleBar_;
  QWidget* client_;
  std::array<QPushButton*, 4> buttons_{};
  int defaultMode_ = 0;
};

}  // namespace relay::app
