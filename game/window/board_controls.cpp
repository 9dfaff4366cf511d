// Painting of the window's panels, shapes and pictures.
#include "game/window/board_controls.h"

#include <QPainter>

namespace pebrio {

TPanel::TPanel(QWidget* parent, const QString& name, QColor color, TBorder border)
    : QWidget(parent), color_(color), border_(border) {
  setObjectName(name);
}

void TPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  p.fillRect(r, color_);
  if (border_ == TBorder::Single) {
    p.setPen(QColor(64, 64, 64));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    return;
  }
  p.setPen(Qt::white);
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(QColor(128, 128, 128));
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
}

TShape::TShape(QWidget* parent, const QString& name, QColor fill) : QWidget(parent), fill_(fill) {
  setObjectName(name);
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  if (r.width() <= 2 || r.height() <= 2) {
    p.fillRect(r, Qt::black);
    return;
  }
  p.fillRect(r, fill_);
  p.setPen(Qt::black);
  p.drawRect(r.adjusted(0, 0, -1, -1));
}

TImage::TImage(QWidget* parent, const QString& name, int tag) : QLabel(parent), tag_(tag) {
  setObjectName(name);
  setAttribute(Qt::WA_TranslucentBackground);
}

void TImage::ShowPicture(const QPixmap& pixmap, const QString& name) {
  setPixmap(pixmap);
  pictureName_ = name;
}

void TImage::ClearPicture() {
  clear();
  pictureName_.clear();
}

}  // namespace pebrio
