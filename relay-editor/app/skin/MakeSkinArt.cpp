// Draws the skin's pictures into a folder: relay-editor-skin-art DIR.
// The PNGs are kept in the repository; run this again after changing them.

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

QImage Canvas(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

void Save(const QImage& image, const QString& dir, const char* name) {
  if (!image.save(dir + QLatin1Char('/') + QLatin1String(name)))
    std::fprintf(stderr, "cannot write %s\n", name);
}

QImage Check(bool on) {
  QImage image = Canvas(16, 16);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(on ? "#2a5682" : "#8aa0b8"), 1.2));
  p.setBrush(on ? QColor("#3a6fa5") : QColor("#ffffff"));
  p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
  if (on) {
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(4.2, 8.3);
    tick.lineTo(7, 11);
    tick.lineTo(11.8, 5);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
  }
  return image;
}

QImage Radio(bool on) {
  QImage image = Canvas(16, 16);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(on ? "#2a5682" : "#8aa0b8"), 1.2));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  if (on) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#3a6fa5"));
    p.drawEllipse(QRectF(4.5, 4.5, 7, 7));
  }
  return image;
}

QImage Cross() {
  QImage image = Canvas(14, 14);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(3, 3), QPointF(11, 11));
  p.drawLine(QPointF(11, 3), QPointF(3, 11));
  return image;
}

QImage Dash() {
  QImage image = Canvas(14, 14);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(3, 10), QPointF(11, 10));
  return image;
}

// One frame for "最大化", two overlapping ones for "还原".
QImage Frames(bool restore) {
  QImage image = Canvas(14, 14);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 1.6));
  p.setBrush(Qt::NoBrush);
  if (restore) {
    p.drawRect(QRectF(5, 2.5, 6.5, 6.5));
    p.setBrush(QColor("#2f5f8f"));
    p.drawRect(QRectF(2.5, 5, 6.5, 6.5));
  } else {
    p.drawRect(QRectF(2.5, 2.5, 9, 9));
  }
  return image;
}

QImage ArrowDown() {
  QImage image = Canvas(10, 10);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor("#2a5682"));
  p.drawPolygon(QPolygonF({QPointF(1, 3), QPointF(9, 3), QPointF(5, 8)}));
  return image;
}

QImage ArrowUp() { return ArrowDown().mirrored(false, true); }

// The program page's picture: a sheet with list lines.
void DrawProgramIcon(QPainter& p, const QColor& ink) {
  p.setPen(QPen(ink, 2));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(16, 14, 28, 36), 3, 3);
  for (int i = 0; i < 4; ++i) {
    p.drawPoint(QPointF(22, 23 + i * 7));
    p.drawLine(QPointF(26, 23 + i * 7), QPointF(38, 23 + i * 7));
  }
}

// The settings page's picture: a serial plug with its pins.
void DrawSettingsIcon(QPainter& p, const QColor& ink) {
  p.setPen(QPen(ink, 2));
  p.setBrush(Qt::NoBrush);
  QPainterPath shell;
  shell.moveTo(14, 22);
  shell.lineTo(46, 22);
  shell.lineTo(42, 40);
  shell.lineTo(18, 40);
  shell.closeSubpath();
  p.drawPath(shell);
  p.setBrush(ink);
  for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(20 + i * 5, 28), 1.3, 1.3);
  for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(22.5 + i * 5, 34), 1.3, 1.3);
  p.setBrush(Qt::NoBrush);
  p.drawLine(QPointF(30, 40), QPointF(30, 50));
}

QImage Tab(const QString& caption, bool selected, void (*icon)(QPainter&, const QColor&)) {
  QImage image = Canvas(144, 64);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QColor ink = selected ? QColor("#2a5682") : QColor("#ffffff");
  icon(p, ink);
  QFont font(QStringLiteral("Noto Sans CJK SC"));
  font.setPixelSize(17);
  font.setBold(true);
  p.setFont(font);
  p.setPen(ink);
  p.drawText(QRectF(52, 0, 88, 64), Qt::AlignLeft | Qt::AlignVCenter, caption);
  return image;
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: relay-editor-skin-art DIR\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  Save(Check(true), dir, "check-on.png");
  Save(Check(false), dir, "check-off.png");
  Save(Radio(true), dir, "radio-on.png");
  Save(Radio(false), dir, "radio-off.png");
  Save(Cross(), dir, "close.png");
  Save(Dash(), dir, "minimise.png");
  Save(Frames(false), dir, "maximise.png");
  Save(Frames(true), dir, "restore.png");
  Save(ArrowDown(), dir, "arrow-down.png");
  Save(ArrowUp(), dir, "arrow-up.png");
  Save(Tab(QStringLiteral("编程"), true, DrawProgramIcon), dir, "tab-program-on.png");
  Save(Tab(QStringLiteral("编程"), false, DrawProgramIcon), dir, "tab-program-off.png");
  Save(Tab(QStringLiteral("通讯设置"), true, DrawSettingsIcon), dir, "tab-settings-on.png");
  Save(Tab(QStringLiteral("通讯设置"), false, DrawSettingsIcon), dir, "tab-settings-off.png");
  return 0;
}
