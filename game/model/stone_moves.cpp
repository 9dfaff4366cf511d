// A move: the drag start, the drop, the reachability test, the last-move marking and the
// change of turn. After every accepted move the capture scan runs.
#include "game/model/pebrio_game.h"

namespace pebrio {

TDragStart TPebrioGame::Image1StartDrag(int stone) {
  // A stone standing on no point (between games, or in a tray) has no move to make: the
  // drag does not start, and no cue or message tells of it.
  if (stone < 1 || stone > kStones || StonePoint[stone] < 1) return {};
  DraggedStone = stone;
  SourcePoint = StonePoint[stone];
  DraggedColour = stone > kStonesPerSide ? kWhite : kBlack;
  if (Turn == DraggedColour) return {true, DraggedColour == kBlack ? 0 : 1};
  view_.PlayCue(8);
  if (Turn == kBlack) {
    view_.ShowMessage("黒番です。");
    return {};
  }
  if (Turn == kWhite) {
    view_.ShowMessage("白番です。");
    return {};
  }
  // A turn of 0 (typed first-player text) lets either colour move; no new image is chosen.
  return {true, -1};
}

bool TPebrioGame::IsReachable() {
  Reachable.fill(0);
  int count = 0;
  const int row = RowOf(SourcePoint);
  const int column = ColumnOf(SourcePoint);
  struct Direction {
    int step;
    int room;  // points between the source and the edge in this direction
  };
  const Direction directions[] = {{-1, row}, {1, 8 - row}, {-9, column}, {9, 8 - column}};
  for (const Direction& d : directions) {
    int p = SourcePoint;
    for (int i = 0; i < d.room && i < 8; ++i) {
      p += d.step;
      if (StoneAt[p] != 0) break;
      Reachable[count++] = p;
    }
  }
  for (int i = 0; i < count; ++i)
    if (Reachable[i] == TargetPoint) return true;
  return false;
}

void TPebrioGame::RefuseDrop() {
  view_.PlayCue(8);
  view_.ShowMessage("そこには移動できません。");
  PlaceStone(DraggedStone, SourcePoint);
}

void TPebrioGame::Panel1DragDrop(TDropControl /*control*/, int x, int y) {
  // The dragged stone must still stand where the drag found it: a stone taken into a tray or
  // sent home while it was held has no move left to make.
  if (DraggedStone < 1 || SourcePoint < 1 || StonePoint[DraggedStone] != SourcePoint) return;
  if (PendingCount > 0) {
    view_.PlayCue(6);
    view_.ShowMessage("「石取り」ボタンをクリックしてください。");
    return;
  }
  const int column = x / kCell;
  const int row = y / kCell;
  view_.MoveStonePicture(DraggedStone, column * kCell + kShapeLeft + kStoneInset,
                         row * kCell + kShapeTop + kStoneInset);
  // A drop beyond the ninth column or row (the frame's right or bottom margin) must not be
  // read as a point of the next column.
  if (x < 0 || y < 0 || column > 8 || row > 8) {
    TargetPoint = 0;
    RefuseDrop();
    return;
  }
  TargetPoint = PointOf(row + 1, column + 1);
  if (!IsReachable()) {
    RefuseDrop();
    return;
  }

  StoneAt[SourcePoint] = 0;
  ColourAt[SourcePoint] = 0;
  StoneAt[TargetPoint] = DraggedStone;
  ColourAt[TargetPoint] = DraggedColour;
  StonePoint[DraggedStone] = TargetPoint;

  if (DraggedColour == kBlack) {
    view_.ShowPicture(DraggedStone, TPicture::BlackLastMove);
    if (PreviousPoint > 0) view_.ShowPicture(LastMovedStone, TPicture::White);
    view_.SetTurnLine("次は白番です。");
    Turn = kWhite;
  } else {
    view_.ShowPicture(DraggedStone, TPicture::WhiteLastMove);
    if (PreviousPoint > 0) view_.ShowPicture(LastMovedStone, TPicture::Black);
    view_.SetTurnLine("次は黒番です。");
    Turn = kBlack;
  }

  ScanCaptures();
  PreviousPoint = TargetPoint;
  LastMovedStone = DraggedStone;

  if (PendingCount > 0) {
    view_.PlayCue(1);
    view_.SetTakeEnabled(true);
    view_.SetStatusText(" 「石取り」ボタンをクリックしてください。");
    view_.PlayCue(4);
  } else {
    view_.SetStatusText("");
    view_.PlayCue(1);
  }
}

}  // namespace pebrio
