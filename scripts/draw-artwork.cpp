// Draws the designer's pictures into app/resources: the start-up logo (291 x 43), the program
// icon (32 x 32 for the window, 256 x 256 for the desktop entry) and the two 16 x 16 icons of the
// print-layout grid (a position printed, a position skipped). Run once after changing a drawing;
// the PNG files it writes are kept in the repository.
//
//   g++ -std=c++20 -fPIC scripts/draw-artwork.cpp $(pkg-config --cflags --libs Qt6Gui) -o draw-artwork
//   QT_QPA_PLATFORM=offscreen ./draw-artwork app/resources
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>

namespace {

// The magnet tile: a rounded square in warm colours with a horseshoe magnet on it, drawn into a
// square of side s at the painter's origin.
void DrawTile(QPainter& p, double s) {
  p.setRenderHint(QPainter::Antialiasing, true);
  const double r = s * 0.22;
  QLinearGradient face(0, 0, s, s);
  face.setColorAt(0, QColor(255, 196, 64));
  face.setColorAt(1, QColor(236, 92, 44));
  QPainterPath tile;
  tile.addRoundedRect(QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94), r, r);
  p.setPen(QPen(QColor(150, 52, 20), s * 0.04));
  p.setBrush(face);
  p.drawPath(tile);

  // The horseshoe: a thick arc open at the bottom, with silver pole shoes.
  const QPointF centre(s * 0.5, s * 0.47);
  const double outer = s * 0.30, inner = s * 0.15;
  QPainterPath shoe;
  shoe.moveTo(centre.x() - outer, centre.y());
  shoe.arcTo(QRectF(centre.x() - outer, centre.y() - outer, 2 * outer, 2 * outer), 180, -180);
  shoe.lineTo(centre.x() + outer, centre.y() + s * 0.28);
  shoe.lineTo(centre.x() + inner, centre.y() + s * 0.28);
  shoe.lineTo(centre.x() + inner, centre.y());
  shoe.arcTo(QRectF(centre.x() - inner, centre.y() - inner, 2 * inner, 2 * inner), 0, 180);
  shoe.lineTo(centre.x() - inner, centre.y() + s * 0.28);
  shoe.lineTo(centre.x() - outer, centre.y() + s * 0.28);
  shoe.closeSubpath();
  p.setPen(QPen(QColor(90, 20, 20), s * 0.025));
  p.setBrush(QColor(200, 30, 40));
  p.drawPath(shoe);
  const double poleTop = centre.y() + s * 0.17;
  p.setBrush(QColor(225, 228, 235));
  p.drawRect(QRectF(centre.x() - outer, poleTop, outer - inner, s * 0.11));
  p.drawRect(QRectF(centre.x() + inner, poleTop, outer - inner, s * 0.11));
}

QImage Icon(int side) {
  QImage image(side, side, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  DrawTile(p, side);
  return image;
}

// The wide logo of the start-up page: the tile, the name and a line saying what the program does.
QImage Startup() {
  QImage image(291, 43, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.save();
  p.translate(2, 2);
  DrawTile(p, 39);
  p.restore();
  p.setRenderHint(QPainter::TextAntialiasing, true);
  QFont name("DejaVu Sans");
  name.setPixelSize(25);
  name.setBold(true);
  p.setFont(name);
  p.setPen(QColor(30, 40, 90));
  p.drawText(QRectF(48, -2, 243, 31), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Stickwell"));
  QFont line("DejaVu Sans");
  line.setPixelSize(11);
  p.setFont(line);
  p.setPen(QColor(255, 255, 255));
  p.drawText(QRectF(49, 27, 242, 15), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("fridge magnet designer"));
  return image;
}

// The grid icons: a small sheet with a green tick (printed) or a red cross (skipped).
QImage GridIcon(bool printed) {
  QImage image(16, 16, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setPen(QColor(96, 96, 96));
  p.setBrush(Qt::white);
  p.drawPolygon(QPolygon({QPoint(2, 0), QPoint(10, 0), QPoint(13, 3), QPoint(13, 15), QPoint(2, 15)}));
  p.drawLine(10, 0, 10, 3);
  p.drawLine(10, 3, 13, 3);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPen pen(printed ? QColor(0, 140, 40) : QColor(200, 0, 0), 2.2);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  if (printed) {
    p.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11.5), QPointF(11.5, 5)}));
  } else {
    p.drawLine(QPointF(5, 5.5), QPointF(10.5, 11.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5, 11.5));
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw-artwork <output folder>\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
  const bool ok = Startup().save(dir + QStringLiteral("startup.png")) &&
                  Icon(32).save(dir + QStringLiteral("icon32.png")) &&
                  Icon(256).save(dir + QStringLiteral("stickwell.png")) &&
                  GridIcon(true).save(dir + QStringLiteral("grid_printed.png")) &&
                  GridIcon(false).save(dir + QStringLiteral("grid_skipped.png"));
  if (!ok) std::fprintf(stderr, "draw-artwork: cannot write into %s\n", argv[1]);
  return ok ? 0 : 1;
}
