// TPebrioGame: the state of the one game and the handlers that change it. The window turns
// its events into calls of these handlers (which keep the window's handler names) and shows
// what the handlers tell the TGameView. No Qt here.
//
// States: no game (no stone pictures, Start enabled), moving (Start and take disabled), and
// stones to take (PendingCount > 0, take enabled; every drop is refused until they are taken).
#pragma once

#include <array>
#include <string>

#include "game/model/board.h"
#include "game/model/game_view.h"

namespace pebrio {

// What a drag start decided.
struct TDragStart {
  bool goesOn = false;  // false: the drag ends before it begins and no drop follows
  int imageIndex = -1;  // drag image to select: 0 black, 1 white; -1 keeps the current one
};

// A control that accepts drops.
enum class TDropControl { Panel1, Shape1, BlackTray, WhiteTray };

class TPebrioGame {
 public:
  explicit TPebrioGame(TGameView& view);

  // Main window created: default settings, empty board, start prompt, cue 5.
  void FormCreate();

  // Setting boxes: index is the selected item, -1 when the typed text selects none.
  void ComboBox3Change(int index);  // first player
  void ComboBox1Change(int index);  // target
  void ComboBox2Change(int index);  // largest difference

  void CuteButton1Click();  // Start
  void CuteButton4Click();  // Cancel
  void CuteButton2Click();  // take the captured stones

  // A stone's picture was pressed.
  TDragStart Image1StartDrag(int stone);
  // The drag in progress was released over a control that accepts drops, at x, y in that
  // control's own client coordinates.
  // REQUIRES: a drag started by Image1StartDrag went on.
  void Panel1DragDrop(TDropControl control, int x, int y);

  void ResetGame();
  void PlaceStone(int stone, int point);
  bool IsReachable();
  void ScanCaptures();

  // The state, readable by the window and tests. Index 0 of the 1-based tables is unused.
  std::array<int, kPoints + 1> StoneAt{};
  std::array<int, kPoints + 1> ColourAt{};
  std::array<int, kStones + 1> StonePoint{};
  int FirstPlayer = kBlack;
  int Turn = kBlack;
  int TargetCount = 10;
  int MaxDifference = 9;
  int BlackTaken = 0;
  int WhiteTaken = 0;
  std::array<int, kStonesPerSide> PendingCaptures{};
  int PendingCount = 0;
  int DraggedStone = 0;
  int DraggedColour = 0;
  int SourcePoint = 0;
  int TargetPoint = 0;
  int PreviousPoint = 0;
  int LastMovedStone = 0;
  // Filled by IsReachable: 8 points along the column and 8 along the row at most.
  std::array<int, 16> Reachable{};

 private:
  static TPicture PlainPicture(int stone);
  void RefuseDrop();
  void TakeStone(int point, bool& ended);

  TGameView& view_;
};

}  // namespace pebrio
