// The hand-made stone drag of the main window: press, overlay, release and hit-test.
#include <QMouseEvent>

#include "game/window/board_controls.h"
#include "game/window/form4.h"

namespace pebrio {

bool TForm4::Image1StartDrag(int stone) {
  const TDragStart start = game_.Image1StartDrag(stone);
  dragging_ = start.goesOn;
  if (start.imageIndex >= 0) dragImageIndex_ = start.imageIndex;
  if (dragging_) dragOverlay_->setPixmap(imageList1_[dragImageIndex_]);
  return dragging_;
}

void TForm4::DragDropOn(QWidget* control, QPoint pos) {
  if (!dragging_) return;
  dragging_ = false;
  dragOverlay_->hide();
  if (control == nullptr) return;
  const QString name = control->objectName();
  TDropControl target;
  if (name == QLatin1String("Panel1")) {
    target = TDropControl::Panel1;
  } else if (name == QLatin1String("Shape1")) {
    target = TDropControl::Shape1;
  } else if (std::find(blackTray_.begin() + 1, blackTray_.end(), control) != blackTray_.end()) {
    target = TDropControl::BlackTray;
  } else if (std::find(whiteTray_.begin() + 1, whiteTray_.end(), control) != whiteTray_.end()) {
    target = TDropControl::WhiteTray;
  } else {
    return;  // stones, grid lines and the other controls accept no drops
  }
  game_.Panel1DragDrop(target, pos.x(), pos.y());
}

void TForm4::CancelDrag() {
  dragging_ = false;
  dragOverlay_->hide();
}

void TForm4::MoveOverlay(QPoint globalPos) {
  // The hot spot is the image's centre.
  dragOverlay_->move(mapFromGlobal(globalPos) - QPoint(kStoneSize / 2, kStoneSize / 2));
  if (!dragOverlay_->isVisible()) {
    dragOverlay_->show();
    dragOverlay_->raise();
  }
}

void TForm4::EndDrag(QPoint globalPos) {
  QWidget* under = client_->childAt(client_->mapFromGlobal(globalPos));
  const QPoint local = under ? under->mapFromGlobal(globalPos) : QPoint();
  DragDropOn(under, local);
}

bool TForm4::eventFilter(QObject* watched, QEvent* event) {
  auto* image = dynamic_cast<TImage*>(watched);
  if (image == nullptr) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      if (Image1StartDrag(image->Tag())) MoveOverlay(mouse->globalPosition().toPoint());
      return true;
    }
    case QEvent::MouseMove:
      if (dragging_) MoveOverlay(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
      return dragging_;
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton || !dragging_) break;
      EndDrag(mouse->globalPosition().toPoint());
      return true;
    }
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace pebrio
