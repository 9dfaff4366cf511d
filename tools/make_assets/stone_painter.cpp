// Stone painting. A stone is a disc lit from the upper left: a radial gradient whose focus
// sits up and left of the centre gives the soft shading, and a blurred-looking shadow (two
// translucent discs) lifts it off the board. A marked stone gets a coloured ring on its rim
// and a light tint of the same colour, so the mark reads on both black and white stones and
// on both background colours (board RGB(241,218,177), tray RGB(237,206,154)).
#include "stone_painter.h"

#include <QPainter>
#include <QRadialGradient>

namespace {

QColor MarkColour(StoneMark mark) {
  switch (mark) {
    case StoneMark::kLastMove:
      return QColor(20, 175, 60);
    case StoneMark::kCaptured:
      return QColor(230, 30, 30);
    case StoneMark::kPlain:
      break;
  }
  return QColor();
}

QRadialGradient StoneShading(const QRectF& disc, StoneColour colour) {
  const QPointF centre = disc.center();
  const qreal r = disc.width() / 2;
  const QPointF focus(centre.x() - 0.38 * r, centre.y() - 0.42 * r);
  QRadialGradient shading(centre, 1.25 * r, focus);
  if (colour == StoneColour::kBlack) {
    shading.setColorAt(0.0, QColor(120, 120, 126));
    shading.setColorAt(0.3, QColor(52, 52, 58));
    shading.setColorAt(1.0, QColor(6, 6, 8));
  } else {
    shading.setColorAt(0.0, QColor(255, 255, 255));
    shading.setColorAt(0.45, QColor(240, 238, 232));
    shading.setColorAt(1.0, QColor(178, 174, 166));
  }
  return shading;
}

}  // namespace

void PaintStone(QPainter& painter, const QRectF& box, StoneColour colour, StoneMark mark) {
  painter.save();
  const qreal size = qMin(box.width(), box.height());
  const qreal shadow_offset = size * 0.045;
  const qreal diameter = size - 2 * shadow_offset - size * 0.02;
  const QRectF disc(box.left() + size * 0.01, box.top() + size * 0.01, diameter, diameter);
  const qreal r = diameter / 2;

  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(60, 40, 10, 40));
  painter.drawEllipse(disc.translated(shadow_offset * 1.6, shadow_offset * 1.6));
  painter.setBrush(QColor(60, 40, 10, 70));
  painter.drawEllipse(disc.translated(shadow_offset, shadow_offset));

  painter.setBrush(StoneShading(disc, colour));
  painter.setPen(colour == StoneColour::kBlack ? QPen(QColor(0, 0, 0), 0.6)
                                               : QPen(QColor(128, 122, 112), 0.6));
  painter.drawEllipse(disc);

  if (mark != StoneMark::kPlain) {
    QColor tint = MarkColour(mark);
    tint.setAlpha(colour == StoneColour::kBlack ? 70 : 40);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawEllipse(disc);

    const qreal ring_width = r * 0.22;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(MarkColour(mark), ring_width));
    const qreal inset = ring_width / 2;
    painter.drawEllipse(disc.adjusted(inset, inset, -inset, -inset));
  }
  painter.restore();
}
