// Setting up and clearing a game: start-up defaults, the three setting boxes, Start, Cancel,
// ResetGame and PlaceStone.
#include "game/model/pebrio_game.h"

namespace pebrio {

TPebrioGame::TPebrioGame(TGameView& view) : view_(view) {}

TPicture TPebrioGame::PlainPicture(int stone) {
  return ColourOfStone(stone) == kWhite ? TPicture::White : TPicture::Black;
}

void TPebrioGame::FormCreate() {
  view_.SetStartEnabled(true);
  view_.SetTakeEnabled(false);
  FirstPlayer = kBlack;
  Turn = kBlack;
  TargetCount = 10;
  MaxDifference = 9;
  ResetGame();
  view_.SetStatusText(" 条件設定がよければ、「スタート」ボタンで始めてください。");
  view_.PlayCue(5);
}

void TPebrioGame::ComboBox3Change(int index) {
  FirstPlayer = index + 1;
  Turn = index + 1;
  view_.PlayCue(2);
}

void TPebrioGame::ComboBox1Change(int index) {
  TargetCount = index + 5;
  view_.PlayCue(2);
}

void TPebrioGame::ComboBox2Change(int index) {
  MaxDifference = index + 5;
  view_.PlayCue(2);
}

void TPebrioGame::ResetGame() {
  BlackTaken = 0;
  WhiteTaken = 0;
  PendingCount = 0;
  PreviousPoint = 0;
  Turn = FirstPlayer;
  view_.SetTurnLine("");
  view_.SetStatusText("");
  for (int n = 1; n <= kStones; ++n) {
    view_.ShowPicture(n, TPicture::None);
    StonePoint[n] = 0;
    view_.SetStoneParent(n, {TParentKind::Board, 0});
    const TPixel home = HomePixelOf(n);
    view_.MoveStonePicture(n, home.left, home.top);
  }
  StoneAt.fill(0);
  ColourAt.fill(0);
}

void TPebrioGame::PlaceStone(int stone, int point) {
  if (stone <= 0) {
    for (int n = 1; n <= kStones; ++n) view_.ShowPicture(n, PlainPicture(n));
    return;
  }
  const TPixel at = PointToPixel(point);
  view_.MoveStonePicture(stone, at.left, at.top);
  view_.ShowPicture(stone, PlainPicture(stone));
}

void TPebrioGame::CuteButton1Click() {
  view_.SetSettingsEnabled(false);
  StoneAt.fill(0);
  ColourAt.fill(0);
  for (int n = 1; n <= kStones; ++n) {
    const int p = StartPointOf(n);
    StoneAt[p] = n;
    ColourAt[p] = ColourOfStone(n);
    StonePoint[n] = p;
  }
  PlaceStone(0, 0);
  view_.SetTurnLine("");
  view_.SetStartEnabled(false);
  // The line names black whichever colour moves first; Turn alone decides who may move.
  view_.SetTurnLine("黒番で始めてください。");
  view_.SetStatusText(" 石の移動を進めてください。");
  view_.PlayCue(1);
}

void TPebrioGame::CuteButton4Click() {
  ResetGame();
  view_.SetStartEnabled(true);
  view_.SetTakeEnabled(false);
  view_.SetSettingsEnabled(true);
  view_.SetStatusText(" 「スタート」ボタンで始めてください。");
  view_.PlayCue(1);
}

}  // namespace pebrio
