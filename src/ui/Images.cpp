#include "Images.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace tv::ui {
namespace {

// Every picture is drawn on a 64-unit canvas and scaled, so all sizes share one drawing.
constexpr double kCanvas = 64.0;

QPixmap Canvas(int size) {
  QPixmap pixmap(std::max(1, size), std::max(1, size));
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void Prepare(QPainter& painter, int size) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / kCanvas, size / kCanvas);
}

QPen RoundPen(const QColor& color, double width) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

struct ShieldColours {
  QColor light;
  QColor dark;
};

ShieldColours ColoursOf(int dlgType) {
  switch (dlgType) {
    case 0:
      return {QColor(110, 200, 90), QColor(30, 120, 40)};  // green
    case 2:
      return {QColor(100, 160, 235), QColor(25, 80, 170)};  // blue
    case 3:
      return {QColor(255, 190, 80), QColor(215, 110, 20)};  // orange
    default:
      return {QColor(240, 95, 85), QColor(170, 25, 25)};  // red
  }
}

QPainterPath ShieldPath() {
  QPainterPath path;
  path.moveTo(32, 3);
  path.cubicTo(40, 8, 48, 10, 57, 10);
  path.lineTo(57, 28);
  path.cubicTo(57, 44, 46, 55, 32, 61);
  path.cubicTo(18, 55, 7, 44, 7, 28);
  path.lineTo(7, 10);
  path.cubicTo(16, 10, 24, 8, 32, 3);
  path.closeSubpath();
  return path;
}

void DrawShieldSymbol(QPainter& p, int dlgType) {
  const QColor white(255, 255, 255);
  switch (dlgType) {
    case 0: {  // check mark
      p.setPen(RoundPen(white, 7));
      QPainterPath check;
      check.moveTo(20, 32);
      check.lineTo(29, 41);
      check.lineTo(45, 22);
      p.drawPath(check);
      break;
    }
    case 2: {  // question mark
      p.setPen(RoundPen(white, 6));
      QPainterPath q;
      q.moveTo(24, 24);
      q.arcTo(QRectF(24, 14, 16, 16), 180, -250);
      q.lineTo(32, 36);
      p.drawPath(q);
      p.setPen(Qt::NoPen);
      p.setBrush(white);
      p.drawEllipse(QPointF(32, 45), 3.8, 3.8);
      break;
    }
    case 3: {  // exclamation mark
      p.setPen(RoundPen(white, 7));
      p.drawLine(QPointF(32, 17), QPointF(32, 35));
      p.setPen(Qt::NoPen);
      p.setBrush(white);
      p.drawEllipse(QPointF(32, 45), 4.2, 4.2);
      break;
    }
    default: {  // cross
      p.setPen(RoundPen(white, 7));
      p.drawLine(QPointF(22, 21), QPointF(42, 41));
      p.drawLine(QPointF(42, 21), QPointF(22, 41));
      break;
    }
  }
}

const QColor kGlyphBlue(28, 90, 168);
const QColor kGlyphLightBlue(90, 155, 230);

}  // namespace

QPixmap ShieldImage(int dlgType, int size) {
  const int type = (dlgType >= 0 && dlgType <= 3) ? dlgType : 1;
  QPixmap pixmap = Canvas(size);
  QPainter p(&pixmap);
  Prepare(p, size);
  const ShieldColours colours = ColoursOf(type);
  const QPainterPath shield = ShieldPath();

  QLinearGradient body(0, 3, 0, 61);
  body.setColorAt(0, colours.light);
  body.setColorAt(1, colours.dark);
  p.setPen(QPen(colours.dark.darker(130), 2));
  p.setBrush(body);
  p.drawPath(shield);

  // Gloss on the upper half.
  QLinearGradient gloss(0, 3, 0, 32);
  gloss.setColorAt(0, QColor(255, 255, 255, 120));
  gloss.setColorAt(1, QColor(255, 255, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(gloss);
  p.setClipPath(shield);
  p.drawRect(QRectF(0, 0, 64, 30));
  p.setClipping(false);

  DrawShieldSymbol(p, type);
  return pixmap;
}

QPixmap ProductImage(int size) {
  QPixmap pixmap = Canvas(size);
  QPainter p(&pixmap);
  Prepare(p, size);

  // A disc from blue to green ...
  QLinearGradient disc(8, 6, 56, 58);
  disc.setColorAt(0, QColor(60, 130, 220));
  disc.setColorAt(1, QColor(60, 175, 90));
  p.setPen(QPen(QColor(30, 85, 140), 1.5));
  p.setBrush(disc);
  p.drawEllipse(QRectF(3, 3, 58, 58));
  QRadialGradient shine(QPointF(24, 18), 30);
  shine.setColorAt(0, QColor(255, 255, 255, 110));
  shine.setColorAt(1, QColor(255, 255, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(shine);
  p.drawEllipse(QRectF(3, 3, 58, 58));

  // ... with two white arrows chasing each other round it: the "update" sign.
  const QRectF ring(16, 16, 32, 32);
  p.setBrush(Qt::NoBrush);
  p.setPen(RoundPen(Qt::white, 5));
  p.drawArc(ring, 100 * 16, 140 * 16);
  p.drawArc(ring, 280 * 16, 140 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  const auto arrowHead = [&](double angleDeg, double direction) {
    const double a = angleDeg * M_PI / 180.0;
    const QPointF tip(32 + 16 * std::cos(a), 32 - 16 * std::sin(a));
    // Tangent pointing along the arrow's travel (counter-clockwise when direction is +1).
    const QPointF t(-std::sin(a) * direction, -std::cos(a) * direction);
    const QPointF n(std::cos(a), -std::sin(a));
    QPolygonF head;
    head << tip + t * 7 << tip + n * 6.5 - t * 1 << tip - n * 6.5 - t * 1;
    p.drawPolygon(head);
  };
  arrowHead(240, 1);
  arrowHead(60, 1);
  return pixmap;
}

QPixmap GlyphBlueCheck(int size) {
  QPixmap pixmap = Canvas(size);
  QPainter p(&pixmap);
  Prepare(p, size);
  QPainterPath check;
  check.moveTo(10, 34);
  check.lineTo(26, 50);
  check.lineTo(54, 16);
  p.setPen(RoundPen(kGlyphBlue, 12));
  p.drawPath(check);
  p.setPen(RoundPen(kGlyphLightBlue, 5));
  p.drawPath(check);
  return pixmap;
}

QPixmap GlyphBlueCross(int size) {
  QPixmap pixmap = Canvas(size);
  QPainter p(&pixmap);
  Prepare(p, size);
  for (const auto& [width, colour] :
       {std::pair{12.0, kGlyphBlue}, std::pair{5.0, kGlyphLightBlue}}) {
    p.setPen(RoundPen(colour, width));
    p.drawLine(QPointF(14, 14), QPointF(50, 50));
    p.drawLine(QPointF(50, 14), QPointF(14, 50));
  }
  return pixmap;
}

QPixmap GlyphProhibition(int size) {
  QPixmap pixmap = Canvas(size);
  QPainter p(&pixmap);
  Prepare(p, size);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kGlyphBlue, 8));
  p.drawEllipse(QRectF(8, 8, 48, 48));
  // The bar runs from upper left to lower right, inside the ring.
  const double r = 24 - 4;
  const double d = r / std::sqrt(2.0);
  p.setPen(QPen(kGlyphBlue, 8, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(32 - d, 32 - d), QPointF(32 + d, 32 + d));
  return pixmap;
}

QPixmap GlyphDiskette(int size) {
  QPixmap pixmap = Canvas(size);
  QPainter p(&pixmap);
  Prepare(p, size);
  // Body with a clipped corner.
  QPainterPath body;
  body.moveTo(8, 6);
  body.lineTo(48, 6);
  body.lineTo(58, 16);
  body.lineTo(58, 56);
  body.quadTo(58, 58, 56, 58);
  body.lineTo(8, 58);
  body.quadTo(6, 58, 6, 56);
  body.lineTo(6, 8);
  body.quadTo(6, 6, 8, 6);
  QLinearGradient fill(0, 6, 0, 58);
  fill.setColorAt(0, kGlyphLightBlue);
  fill.setColorAt(1, kGlyphBlue);
  p.setPen(QPen(kGlyphBlue.darker(140), 2));
  p.setBrush(fill);
  p.drawPath(body);
  // Metal shutter at the top, label at the bottom.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(215, 222, 230));
  p.drawRect(QRectF(17, 6, 26, 16));
  p.setBrush(QColor(60, 75, 95));
  p.drawRect(QRectF(33, 9, 6, 10));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(13, 32, 38, 24), 2, 2);
  p.setPen(QPen(QColor(150, 170, 200), 1.5));
  for (double y : {39.0, 45.0, 51.0}) p.drawLine(QPointF(17, y), QPointF(47, y));
  return pixmap;
}

}  // namespace tv::ui
