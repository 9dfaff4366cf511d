// Writes the 32 x 32 window icon: a small piece of the board with its grid, one black and one
// white stone in its cells, painted with the same stone painter as the game's pictures.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

#include "make_assets.h"
#include "stone_painter.h"

namespace {

constexpr int kIconSize = 32;

}  // namespace

bool WriteWindowIcon(const QString& out_dir) {
  QImage image(kIconSize, kIconSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);

  // The board frame and playing surface in the game's own colours.
  QPainterPath frame;
  frame.addRoundedRect(QRectF(0.5, 0.5, 31, 31), 4, 4);
  painter.fillPath(frame, QColor(237, 206, 154));
  painter.setPen(QPen(QColor(150, 110, 60), 1));
  painter.drawPath(frame);
  painter.fillRect(QRectF(3, 3, 26, 26), QColor(241, 218, 177));

  // A 2 x 2 patch of cells with a stone in two opposite cells; as on the board, stones sit
  // inside the cells, not on the line crossings.
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QColor(90, 70, 40));
  painter.drawLine(16, 3, 16, 28);
  painter.drawLine(3, 16, 28, 16);
  painter.setRenderHint(QPainter::Antialiasing);

  PaintStone(painter, QRectF(3, 3, 13, 13), StoneColour::kBlack, StoneMark::kPlain);
  PaintStone(painter, QRectF(17, 17, 13, 13), StoneColour::kWhite, StoneMark::kPlain);
  painter.end();

  const QString path = QDir(out_dir).filePath("pebrio.png");
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "make_assets: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}
