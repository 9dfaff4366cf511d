// Writes the six 28 x 28 stone pictures as icon files (aicon/) and the two drag images (drag/).
// The pictures keep a transparent background so they sit on the board and in the tray boxes
// alike; the drag images are the plain stones at reduced opacity, shown under the mouse.
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "make_assets.h"
#include "stone_painter.h"

namespace {

constexpr int kStoneSize = 28;
constexpr qreal kDragOpacity = 0.75;

QImage StoneImage(StoneColour colour, StoneMark mark, qreal opacity) {
  QImage image(kStoneSize, kStoneSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(opacity);
  PaintStone(painter, QRectF(0, 0, kStoneSize, kStoneSize), colour, mark);
  painter.end();
  return image;
}

bool Save(const QImage& image, const QString& path, const char* format) {
  if (!image.save(path, format)) {
    std::fprintf(stderr, "make_assets: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

bool WriteStonePictures(const QString& out_dir) {
  struct Picture {
    const char* name;
    StoneColour colour;
    StoneMark mark;
  };
  static const Picture kPictures[] = {
      {"stB.ico", StoneColour::kBlack, StoneMark::kPlain},
      {"stW.ico", StoneColour::kWhite, StoneMark::kPlain},
      {"stBG.ico", StoneColour::kBlack, StoneMark::kLastMove},
      {"stWG.ico", StoneColour::kWhite, StoneMark::kLastMove},
      {"stBR.ico", StoneColour::kBlack, StoneMark::kCaptured},
      {"stWR.ico", StoneColour::kWhite, StoneMark::kCaptured},
  };
  const QString aicon = MakeSubFolder(out_dir, "aicon");
  for (const Picture& p : kPictures) {
    if (!Save(StoneImage(p.colour, p.mark, 1.0), aicon + p.name, "ICO")) return false;
  }
  const QString drag = MakeSubFolder(out_dir, "drag");
  return Save(StoneImage(StoneColour::kBlack, StoneMark::kPlain, kDragOpacity), drag + "black.png",
              "PNG") &&
         Save(StoneImage(StoneColour::kWhite, StoneMark::kPlain, kDragOpacity), drag + "white.png",
              "PNG");
}
