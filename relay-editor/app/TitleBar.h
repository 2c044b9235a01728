#pragma once
// The skinned title bar the editor's windows draw themselves: the title on the
// left, a close button on the right. Pressing the bar moves the window.

#include <QWidget>

class QLabel;
class QToolButton;

namespace relay::app {

class TitleBar : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kHeight = 30;

  explicit TitleBar(const QString& title, QWidget* parent = nullptr);

  void setTitle(const QString& title);
  QString title() const;
  QToolButton* closeButton() const { return close_; }

 signals:
  void closeClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* title_;
  QToolButton* close_;
};

// Lets a frameless window be dragged by the given widget's free area.
void MoveWindowOnPress(QWidget* window, QMouseEvent* event);

}  // namespace relay::app
