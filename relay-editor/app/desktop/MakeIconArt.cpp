// Draws relay-editor's application icon at the sizes the desktop's icon theme
// uses into a folder: relay-editor-icon-art DIR writes relay-editor-N.png.
// The PNGs are kept in the repository; run this again after changing them.

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// The skin's colours.
const QColor kDeepBlue("#2a5682");
const QColor kBlue("#3a6fa5");
const QColor kLightBlue("#5b8fc7");
const QColor kAmber("#f2b33d");

// The icon on a 64 × 64 grid: a blue tile carrying the program sheet (a list of
// Instructions) and, in front of it, a relay contact on an amber badge.
void DrawIcon(QPainter& p, int size) {
  p.scale(size / 64.0, size / 64.0);
  // Small icons get heavier strokes so that the lines survive the scaling.
  const double weight = size <= 24 ? 1.6 : size <= 32 ? 1.25 : 1.0;

  QLinearGradient tile(0, 4, 0, 60);
  tile.setColorAt(0, kLightBlue);
  tile.setColorAt(1, kDeepBlue);
  p.setPen(QPen(kDeepBlue.darker(130), 1));
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(4.5, 4.5, 55, 55), 11, 11);

  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(13, 10, 30, 40), 3, 3);
  p.setPen(QPen(kBlue, 3 * weight, Qt::SolidLine, Qt::RoundCap));
  const int lines = size <= 24 ? 3 : 4;
  for (int i = 0; i < lines; ++i) {
    const double y = 18 + i * (lines == 3 ? 9.5 : 7.5);
    p.drawPoint(QPointF(19, y));
    p.drawLine(QPointF(24, y), QPointF(size <= 24 ? 36 : 37 - (i % 2) * 5, y));
  }

  p.setPen(QPen(kDeepBlue.darker(130), 1));
  p.setBrush(kAmber);
  p.drawEllipse(QPointF(45, 45), 14, 14);
  // The contact: two terminals and the lever that bridges them when switched.
  p.setPen(QPen(kDeepBlue, 3 * weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(35, 49), QPointF(39, 49));
  p.drawLine(QPointF(39, 49), QPointF(50, 41));
  p.drawLine(QPointF(51, 49), QPointF(55, 49));
  p.setPen(Qt::NoPen);
  p.setBrush(kDeepBlue);
  p.drawEllipse(QPointF(39, 49), 2.2 * weight, 2.2 * weight);
  p.drawEllipse(QPointF(51, 49), 2.2 * weight, 2.2 * weight);
}

bool Save(const QString& dir, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  DrawIcon(p, size);
  p.end();
  const QString name = QStringLiteral("%1/relay-editor-%2.png").arg(dir).arg(size);
  if (image.save(name)) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: relay-editor-icon-art DIR\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  bool saved = true;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) saved = Save(dir, size) && saved;
  return saved ? 0 : 1;
}
