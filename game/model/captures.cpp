// Captures and the end of a game: the scan that marks sandwiched stones after a move, and the
// take-stones handler that carries them into the trays and checks the target and the called
// game.
#include <cstdlib>

#include "game/model/pebrio_game.h"

namespace pebrio {

namespace {

// One of the four straight directions from a point.
struct Direction {
  int step;
  bool (*hasNext)(int point);  // whether the next point in this direction is on the board
};

const Direction kDirections[] = {
    {-1, [](int p) { return RowOf(p) > 0; }},
    {1, [](int p) { return RowOf(p) < 8; }},
    {-9, [](int p) { return ColumnOf(p) > 0; }},
    {9, [](int p) { return ColumnOf(p) < 8; }},
};

}  // namespace

void TPebrioGame::ScanCaptures() {
  const int mover = ColourAt[TargetPoint];
  const int opponent = OppositeColour(mover);
  PendingCaptures.fill(0);
  PendingCount = 0;

  for (const Direction& d : kDirections) {
    if (!d.hasNext(TargetPoint) || ColourAt[TargetPoint + d.step] != opponent) continue;
    // A walk can meet up to 8 opponent stones before the edge; only 7 can ever be closed.
    std::array<int, 8> run{};
    int length = 0;
    int p = TargetPoint + d.step;
    run[length++] = p;
    bool closed = false;
    while (d.hasNext(p)) {
      p += d.step;
      if (ColourAt[p] == opponent) {
        run[length++] = p;
      } else {
        closed = ColourAt[p] == mover;
        break;
      }
    }
    if (!closed) continue;
    bool exempt = false;
    for (int i = 0; i < length; ++i) exempt = exempt || run[i] == PreviousPoint;
    if (exempt) continue;
    // The opponent has 14 stones and each can be in only one run of a move.
    for (int i = 0; i < length && PendingCount < kStonesPerSide; ++i)
      PendingCaptures[PendingCount++] = run[i];
  }

  for (int i = 0; i < kStonesPerSide && PendingCaptures[i] != 0; ++i) {
    const int point = PendingCaptures[i];
    view_.ShowPicture(StoneAt[point], ColourAt[point] == kBlack ? TPicture::BlackCaptured
                                                                : TPicture::WhiteCaptured);
  }
}

void TPebrioGame::TakeStone(int point, bool& ended) {
  const int colour = ColourAt[point];
  const int stone = StoneAt[point];
  if (stone == 0) return;  // the point was emptied already; nothing to carry off
  if (colour == kBlack) {
    ++BlackTaken;
    view_.SetStoneParent(stone, {TParentKind::BlackTray, BlackTaken});
  } else {
    ++WhiteTaken;
    view_.SetStoneParent(stone, {TParentKind::WhiteTray, WhiteTaken});
  }
  PlaceStone(stone, 0);
  StoneAt[point] = 0;
  ColourAt[point] = 0;
  StonePoint[stone] = 0;

  // The winner is the side that took the stones: the other colour than the stone taken.
  const std::string winner = colour == kBlack ? "白" : "黒";
  if (WhiteTaken == TargetCount || BlackTaken == TargetCount) {
    view_.PlayCue(5);
    view_.ShowMessage("取り石の数で " + winner + " の勝ちです。");
    ResetGame();
    view_.SetStartEnabled(true);
    view_.SetTakeEnabled(false);
    ended = true;
    return;
  }
  if (std::abs(WhiteTaken - BlackTaken) == MaxDifference) {
    view_.PlayCue(5);
    view_.ShowMessage("コールドゲームで " + winner + " の勝ちです。");
    ResetGame();
    view_.SetStartEnabled(true);
    view_.SetTakeEnabled(false);
    view_.SetSettingsEnabled(true);
    ended = true;
  }
}

void TPebrioGame::CuteButton2Click() {
  for (int i = 0; i < kStonesPerSide; ++i) {
    if (PendingCaptures[i] == 0) continue;
    bool ended = false;
    TakeStone(PendingCaptures[i], ended);
    if (ended) return;
  }
  PendingCount = 0;
  view_.SetTakeEnabled(false);
  view_.SetStatusText(" 石の移動を進めてください。");
  view_.PlayCue(7);
}

}  // namespace pebrio
