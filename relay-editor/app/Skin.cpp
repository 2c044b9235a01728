#include "Skin.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QStyleFactory>

static void InitSkinResource() { Q_INIT_RESOURCE(skin); }

namespace relay::app {

void ApplySkin(QApplication& app) {
  InitSkinResource();
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
  const QStringList families = QFontDatabase::families();
  for (const char* family : {"Noto Sans CJK SC", "Noto Sans SC", "WenQuanYi Micro Hei"}) {
    if (families.contains(QString::fromLatin1(family))) {
      QFont font(QString::fromLatin1(family));
      font.setPixelSize(12);
      app.setFont(font);
      break;
    }
  }
  QFile sheet(QStringLiteral(":/skin/skin.qss"));
  if (sheet.open(QIODevice::ReadOnly)) app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

}  // namespace relay::app
