// The skin on the real windows: every editor shows its frame, and the main
// window's blue buttons look disabled while an editor is open.

#include "GuiHarness.h"

#include "IO.h"
#include "Skin.h"
#include "Unit4.h"
#include "ptimes.h"
#include "xunhuan.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace relay::app;
using relay::app::testing::GuiHarness;

class SkinTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() { ApplySkin(*qApp); }
  void everyEditorShowsItsFrame();
  void theBlueButtonsLookDisabledWhileAnEditorIsOpen();
};

void SkinTest::everyEditorShowsItsFrame() {
  std::unique_ptr<EditorWindow> editors[] = {
      std::make_unique<TForm2>(), std::make_unique<Ttimers>(), std::make_unique<TForm3>(),
      std::make_unique<Tpanduan>()};
  for (const auto& editor : editors) {
    const QImage picture = editor->grab().toImage();
    const int w = picture.width(), h = picture.height();
    const QColor inside = picture.pixelColor(w / 2, h - 3);
    const QPoint frame[] = {{0, h / 2}, {w - 1, h / 2}, {w / 2, h - 1}};
    for (const QPoint& p : frame) {
      const QByteArray where = editor->objectName().toUtf8() + " at " + QByteArray::number(p.x()) +
                               "," + QByteArray::number(p.y());
      QVERIFY2(picture.pixelColor(p) != inside, where);
      QVERIFY2(picture.pixelColor(p).value() < 160, where);  // a dark line on the light client area
    }
  }
}

void SkinTest::theBlueButtonsLookDisabledWhileAnEditorIsOpen() {
  GuiHarness h;
  TForm1& w = h.start();
  QPushButton* buttons[] = {w.button(QStringLiteral("优化指令")),
                            w.button(QStringLiteral("全部写入"))};
  QColor enabled[2];
  for (int i = 0; i < 2; ++i)
    enabled[i] = buttons[i]->grab().toImage().pixelColor(4, buttons[i]->height() / 2);
  QTest::mouseClick(w.button(QStringLiteral("定时器")), Qt::LeftButton);
  QVERIFY(!w.isEnabled());
  for (int i = 0; i < 2; ++i) {
    const QColor disabled = buttons[i]->grab().toImage().pixelColor(4, buttons[i]->height() / 2);
    QVERIFY2(disabled != enabled[i], qPrintable(buttons[i]->text()));
    // Paler: nearer to the grey of the other disabled buttons.
    QVERIFY2(disabled.saturation() < enabled[i].saturation(), qPrintable(buttons[i]->text()));
  }
  w.timerEditor()->finish();
}

QTEST_MAIN(SkinTest)
#include "SkinTest.moc"
