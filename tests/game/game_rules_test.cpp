// The rules of the game without a window: a recording view stands in for the main window.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "game/model/pebrio_game.h"

namespace pebrio {
namespace {

// Records what the rules tell the window, in the order told.
class RecordingView : public TGameView {
 public:
  void PlayCue(int cue) override { events.push_back("cue " + std::to_string(cue)); }
  void ShowMessage(const std::string& text) override { events.push_back("msg " + text); }
  void ShowPicture(int stone, TPicture picture) override { pictures[stone] = picture; }
  void MoveStonePicture(int stone, int left, int top) override { where[stone] = {left, top}; }
  void SetStoneParent(int stone, TStoneParent parent) override { parents[stone] = parent; }
  void SetTurnLine(const std::string& text) override { turnLine = text; }
  void SetStatusText(const std::string& text) override { status = text; }
  void SetStartEnabled(bool e) override { startEnabled = e; }
  void SetTakeEnabled(bool e) override { takeEnabled = e; }
  void SetSettingsEnabled(bool e) override { settingsEnabled = e; }

  std::vector<std::string> TakeEvents() { return std::exchange(events, {}); }

  std::vector<std::string> events;
  std::map<int, TPicture> pictures;
  std::map<int, TPixel> where;
  std::map<int, TStoneParent> parents;
  std::string turnLine, status;
  bool startEnabled = false, takeEnabled = false, settingsEnabled = true;
};

using Events = std::vector<std::string>;

class GameTest : public ::testing::Test {
 protected:
  GameTest() : game(view) {
    game.FormCreate();
    view.TakeEvents();
  }

  void Start() {
    game.CuteButton1Click();
    view.TakeEvents();
  }

  // Replaces the board with the given stones (stone -> point); all others are off the board.
  void SetPosition(const std::map<int, int>& stones) {
    game.StoneAt.fill(0);
    game.ColourAt.fill(0);
    game.StonePoint.fill(0);
    for (auto [stone, point] : stones) {
      game.StoneAt[point] = stone;
      game.ColourAt[point] = ColourOfStone(stone);
      game.StonePoint[stone] = point;
    }
  }

  // Drags stone to point p with a drop on Shape1 at the centre of p's cell.
  void Move(int stone, int p) {
    const TDragStart s = game.Image1StartDrag(stone);
    ASSERT_TRUE(s.goesOn) << "stone " << stone;
    game.Panel1DragDrop(TDropControl::Shape1, 39 * ColumnOf(p) + 19, 39 * RowOf(p) + 19);
  }

  void CheckInvariants() {
    for (int n = 1; n <= kStones; ++n) {
      const int p = game.StonePoint[n];
      if (p == 0) continue;
      EXPECT_EQ(game.StoneAt[p], n);
      EXPECT_EQ(game.ColourAt[p], ColourOfStone(n));
    }
    for (int p = 1; p <= kPoints; ++p) {
      if (game.StoneAt[p] == 0) {
        EXPECT_EQ(game.ColourAt[p], 0) << "point " << p;
      }
    }
  }

  RecordingView view;
  TPebrioGame game;
};

TEST(Board, PointNumberingAndPixels) {
  EXPECT_EQ(PointOf(1, 1), 1);
  EXPECT_EQ(PointOf(9, 1), 9);
  EXPECT_EQ(PointOf(1, 2), 10);
  EXPECT_EQ(PointOf(9, 9), 81);
  EXPECT_EQ(PointToPixel(1), (TPixel{14, 14}));
  EXPECT_EQ(PointToPixel(81), (TPixel{326, 326}));
  EXPECT_EQ(PointToPixel(2), (TPixel{14, 53}));
  EXPECT_EQ(PointToPixel(0), (TPixel{6, 6}));
  EXPECT_EQ(PointToPixel(-3), (TPixel{6, 6}));
}

TEST(Board, StartingLayoutAndHomes) {
  const int expectedPoints[kStones] = {2,  3,  4,  5,  6,  7,  8,  18, 27, 36, 45, 54, 63, 72,
                                       10, 19, 28, 37, 46, 55, 64, 74, 75, 76, 77, 78, 79, 80};
  for (int n = 1; n <= kStones; ++n) EXPECT_EQ(StartPointOf(n), expectedPoints[n - 1]) << n;
  EXPECT_EQ(HomePixelOf(1), (TPixel{14, 54}));
  EXPECT_EQ(HomePixelOf(7), (TPixel{14, 288}));
  EXPECT_EQ(HomePixelOf(8), (TPixel{54, 326}));
  EXPECT_EQ(HomePixelOf(15), (TPixel{54, 14}));
  EXPECT_EQ(HomePixelOf(28), (TPixel{326, 288}));
  // Homes inside the frame's rows and columns 1-7 sit one pixel off the computed position.
  EXPECT_EQ(PointToPixel(StartPointOf(1)), (TPixel{14, 53}));
}

TEST(GameSetup, StartUpShowsAnEmptyBoardAndThePrompt) {
  RecordingView view;
  TPebrioGame game(view);
  game.FormCreate();
  EXPECT_EQ(view.events, (Events{"cue 5"}));
  EXPECT_EQ(view.status, " 条件設定がよければ、「スタート」ボタンで始めてください。");
  EXPECT_EQ(view.turnLine, "");
  EXPECT_TRUE(view.startEnabled);
  EXPECT_FALSE(view.takeEnabled);
  EXPECT_EQ(game.TargetCount, 10);
  EXPECT_EQ(game.MaxDifference, 9);
  EXPECT_EQ(game.Turn, 1);
  for (int n = 1; n <= kStones; ++n) {
    EXPECT_EQ(view.pictures[n], TPicture::None);
    EXPECT_EQ(view.where[n], HomePixelOf(n));
    EXPECT_EQ(game.StonePoint[n], 0);
  }
}

TEST_F(GameTest, SettingBoxesTakeIndexPlusOffsetAndTypedTextGivesMinusOne) {
  game.ComboBox1Change(0);
  game.ComboBox2Change(2);
  game.ComboBox3Change(1);
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 2", "cue 2", "cue 2"}));
  EXPECT_EQ(game.TargetCount, 5);
  EXPECT_EQ(game.MaxDifference, 7);
  EXPECT_EQ(game.FirstPlayer, 2);
  EXPECT_EQ(game.Turn, 2);
  game.ComboBox1Change(-1);
  game.ComboBox2Change(-1);
  game.ComboBox3Change(-1);
  EXPECT_EQ(game.TargetCount, 4);
  EXPECT_EQ(game.MaxDifference, 4);
  EXPECT_EQ(game.Turn, 0);
}

TEST_F(GameTest, StartPlacesTheStonesAndNamesBlackWhoeverBegins) {
  game.ComboBox3Change(1);
  view.TakeEvents();
  game.CuteButton1Click();
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 1"}));
  EXPECT_EQ(view.turnLine, "黒番で始めてください。");
  EXPECT_EQ(view.status, " 石の移動を進めてください。");
  EXPECT_FALSE(view.startEnabled);
  EXPECT_FALSE(view.settingsEnabled);
  for (int n = 1; n <= kStones; ++n) {
    EXPECT_EQ(game.StonePoint[n], StartPointOf(n));
    EXPECT_EQ(view.pictures[n], n > 14 ? TPicture::White : TPicture::Black);
  }
  CheckInvariants();
  // White begins, although the line names black.
  EXPECT_FALSE(game.Image1StartDrag(1).goesOn);
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 8", "msg 白番です。"}));
  EXPECT_TRUE(game.Image1StartDrag(15).goesOn);
}

TEST_F(GameTest, CancelReturnsEveryStoneHomeAndClearsTheTrays) {
  Start();
  SetPosition({{1, 2}, {15, 12}, {16, 30}});
  game.StonePoint[16] = 0;  // pretend 16 was taken into a tray
  view.parents[16] = {TParentKind::WhiteTray, 1};
  game.BlackTaken = 3;
  game.CuteButton4Click();
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 1"}));
  EXPECT_EQ(view.status, " 「スタート」ボタンで始めてください。");
  EXPECT_TRUE(view.startEnabled);
  EXPECT_TRUE(view.settingsEnabled);
  EXPECT_EQ(game.BlackTaken, 0);
  for (int n = 1; n <= kStones; ++n) {
    EXPECT_EQ(view.parents[n].kind, TParentKind::Board);
    EXPECT_EQ(view.where[n], HomePixelOf(n));
    EXPECT_EQ(view.pictures[n], TPicture::None);
  }
  for (int p = 1; p <= kPoints; ++p) EXPECT_EQ(game.StoneAt[p], 0);
}

TEST_F(GameTest, StonesOffTheBoardStartNoDrag) {
  // Between games every stone is off the board.
  const TDragStart s = game.Image1StartDrag(3);
  EXPECT_FALSE(s.goesOn);
  EXPECT_TRUE(view.TakeEvents().empty());
  EXPECT_EQ(game.DraggedStone, 0);
}

TEST_F(GameTest, ADropAfterTheDraggedStoneLeftItsPointDoesNothing) {
  Start();
  ASSERT_TRUE(game.Image1StartDrag(1).goesOn);
  game.CuteButton4Click();  // Cancel while the stone is held
  view.TakeEvents();
  game.Panel1DragDrop(TDropControl::Shape1, 39 + 19, 39 + 19);
  EXPECT_TRUE(view.TakeEvents().empty());
  EXPECT_EQ(game.StonePoint[1], 0);
  EXPECT_EQ(game.StoneAt[11], 0);
  EXPECT_EQ(game.Turn, 1);
}

TEST_F(GameTest, TurnZeroLetsEitherColourMoveWithACue) {
  game.ComboBox3Change(-1);
  Start();
  const TDragStart s = game.Image1StartDrag(20);
  EXPECT_TRUE(s.goesOn);
  EXPECT_EQ(s.imageIndex, -1);
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 8"}));
  game.Panel1DragDrop(TDropControl::Shape1, 39 * 6 + 5, 39 * 4 + 5);  // point 59
  EXPECT_EQ(game.StonePoint[20], 59);
  EXPECT_EQ(game.Turn, 1);
}

TEST_F(GameTest, RefusedDropsLeaveTheBoardAndSendTheStoneBack) {
  Start();
  const auto before = game.StoneAt;
  struct Case {
    TDropControl control;
    int x, y;
  };
  const Case cases[] = {
      {TDropControl::Shape1, 19, 58},                  // its own cell
      {TDropControl::Panel1, 19, 360},                 // row 9: bottom margin; must not be point 10
      {TDropControl::Panel1, 365, 19},                 // column 9: right margin
      {TDropControl::Shape1, 39 + 5, 5},               // point 10, held by a white stone
      {TDropControl::Shape1, 39 * 2 + 5, 39 * 2 + 5},  // off its row and column
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(game.Image1StartDrag(1).goesOn);
    game.Panel1DragDrop(c.control, c.x, c.y);
    EXPECT_EQ(view.TakeEvents(), (Events{"cue 8", "msg そこには移動できません。"}));
    EXPECT_EQ(game.StoneAt, before);
    EXPECT_EQ(view.where[1], PointToPixel(2)) << c.x << "," << c.y;  // 14,53: a pixel above home
    EXPECT_EQ(view.pictures[1], TPicture::Black);
    EXPECT_EQ(game.Turn, 1);
  }
}

TEST_F(GameTest, ATrayDropReadsTheBoxCoordinates) {
  Start();
  // A tray box is 41 x 40: its coordinates address points 1, 2, 10 or 11.
  ASSERT_TRUE(game.Image1StartDrag(1).goesOn);         // stone 1 stands on point 2
  game.Panel1DragDrop(TDropControl::BlackTray, 5, 5);  // point 1, the empty corner
  EXPECT_EQ(game.StonePoint[1], 1);
  EXPECT_EQ(view.where[1], PointToPixel(1));
}

TEST_F(GameTest, MovesMarkTheLastMoveAndPassTheTurn) {
  Start();
  Move(2, 12);  // black: point 3 -> 12 along row 2
  EXPECT_EQ(game.StonePoint[2], 12);
  EXPECT_EQ(game.StoneAt[3], 0);
  EXPECT_EQ(view.pictures[2], TPicture::BlackLastMove);
  EXPECT_EQ(view.turnLine, "次は白番です。");
  EXPECT_EQ(game.Turn, 2);
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 1"}));
  EXPECT_EQ(game.PreviousPoint, 12);
  EXPECT_EQ(game.LastMovedStone, 2);

  Move(17, 30);  // white: point 28 -> 30 down column 3
  EXPECT_EQ(view.pictures[17], TPicture::WhiteLastMove);
  EXPECT_EQ(view.pictures[2], TPicture::Black);  // the previous mark goes
  EXPECT_EQ(view.turnLine, "次は黒番です。");
  CheckInvariants();
}

TEST_F(GameTest, AStoneCannotPassOtherStones) {
  Start();
  SetPosition({{1, 41}, {2, 40}, {15, 42}, {16, 32}, {17, 50}});  // 41 boxed in
  for (int p = 1; p <= kPoints; ++p) {
    game.SourcePoint = 41;
    game.TargetPoint = p;
    EXPECT_FALSE(game.IsReachable()) << p;
  }
  SetPosition({{1, 41}, {15, 44}});
  game.SourcePoint = 41;
  for (int p : {37, 38, 39, 40, 42, 43, 5, 14, 23, 32, 50, 59, 68, 77}) {
    game.TargetPoint = p;
    EXPECT_TRUE(game.IsReachable()) << p;
  }
  for (int p : {44, 45, 41, 86}) {
    game.TargetPoint = p;
    EXPECT_FALSE(game.IsReachable()) << p;
  }
}

// Every source against every target on an empty board, including the column-9 targets a drop
// in the frame's margin would give: exactly the other points of the source's row and column.
TEST_F(GameTest, OnAnEmptyBoardAStoneReachesItsWholeRowAndColumn) {
  Start();
  for (int source = 1; source <= kPoints; ++source) {
    SetPosition({{1, source}});
    game.SourcePoint = source;
    for (int target = 0; target <= kPoints + 9; ++target) {
      game.TargetPoint = target;
      const bool onBoard = target >= 1 && target <= kPoints;
      const bool expected =
          onBoard && target != source &&
          (RowOf(target) == RowOf(source) || ColumnOf(target) == ColumnOf(source));
      ASSERT_EQ(game.IsReachable(), expected) << source << " -> " << target;
    }
  }
}

// Stone 14 is the last black stone: black's to move, drawn with black's image and colour.
TEST_F(GameTest, TheLastBlackStoneMovesOnBlacksTurn) {
  Start();
  ASSERT_EQ(game.StonePoint[14], 72);
  EXPECT_EQ(game.ColourAt[72], 1);
  const TDragStart s = game.Image1StartDrag(14);
  ASSERT_TRUE(s.goesOn);
  EXPECT_EQ(s.imageIndex, 0);
  EXPECT_TRUE(view.TakeEvents().empty());
  game.Panel1DragDrop(TDropControl::Shape1, 39 * 7 + 19, 39 * 4 + 19);  // point 68, up column 7
  EXPECT_EQ(game.StonePoint[14], 68);
  EXPECT_EQ(game.ColourAt[68], 1);
  EXPECT_EQ(view.pictures[14], TPicture::BlackLastMove);
  EXPECT_EQ(game.Turn, 2);
  EXPECT_EQ(view.turnLine, "次は白番です。");
  CheckInvariants();
  // Now stone 14 is out of turn.
  EXPECT_FALSE(game.Image1StartDrag(14).goesOn);
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 1", "cue 8", "msg 白番です。"}));
}

TEST_F(GameTest, CapturesInSeveralDirectionsAtOnce) {
  Start();
  // Black 1 moves up to 41; white runs above (40), left (32) and right (50, 59) are closed by
  // black stones at 39, 23 and 68. White 19 stands apart in the corner.
  SetPosition(
      {{1, 45}, {2, 39}, {3, 23}, {4, 68}, {15, 40}, {16, 32}, {17, 50}, {18, 59}, {19, 81}});
  Move(1, 41);
  EXPECT_EQ(game.PendingCount, 4);
  EXPECT_EQ((std::vector<int>(game.PendingCaptures.begin(), game.PendingCaptures.begin() + 5)),
            (std::vector<int>{40, 32, 50, 59, 0}));
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 1", "cue 4"}));
  EXPECT_TRUE(view.takeEnabled);
  EXPECT_EQ(view.status, " 「石取り」ボタンをクリックしてください。");
  for (int n : {15, 16, 17, 18}) EXPECT_EQ(view.pictures[n], TPicture::WhiteCaptured);
  EXPECT_EQ(view.pictures[19], TPicture::White);

  // Nothing moves until the stones are taken.
  ASSERT_TRUE(game.Image1StartDrag(19).goesOn);
  game.Panel1DragDrop(TDropControl::Shape1, 39 * 8 + 5, 39 * 7 + 5);
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 6", "msg 「石取り」ボタンをクリックしてください。"}));
  EXPECT_EQ(game.StonePoint[19], 81);

  game.CuteButton2Click();
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 7"}));
  EXPECT_EQ(game.WhiteTaken, 4);
  EXPECT_EQ(game.PendingCount, 0);
  EXPECT_FALSE(view.takeEnabled);
  EXPECT_EQ(view.status, " 石の移動を進めてください。");
  EXPECT_EQ(view.turnLine, "次は白番です。");
  for (int i = 0; i < 4; ++i) {
    const int n = 15 + i;
    EXPECT_EQ(game.StonePoint[n], 0);
    EXPECT_EQ(view.parents[n].kind, TParentKind::WhiteTray);
    EXPECT_EQ(view.parents[n].box, i + 1);
    EXPECT_EQ(view.where[n], (TPixel{6, 6}));
    EXPECT_EQ(view.pictures[n], TPicture::White);
  }
  CheckInvariants();
  // The taken stones start no drag from the tray.
  EXPECT_FALSE(game.Image1StartDrag(15).goesOn);
  // The next move goes through.
  Move(19, 80);
  EXPECT_EQ(game.StonePoint[19], 80);
}

TEST_F(GameTest, MovingBetweenTwoOpponentsIsSafe) {
  Start();
  SetPosition({{1, 45}, {15, 32}, {16, 50}, {2, 12}});
  game.Turn = 1;
  Move(1, 41);
  EXPECT_EQ(game.PendingCount, 0);
  EXPECT_EQ(game.StonePoint[1], 41);
}

TEST_F(GameTest, ARunHoldingTheOpponentsLastMovedStoneIsNotCaptured) {
  Start();
  SetPosition({{1, 45}, {2, 39}, {3, 23}, {15, 58}, {16, 32}});
  game.Turn = 2;
  Move(15, 40);  // white moves into 40, next to black's future target
  view.TakeEvents();
  // Black closes both 40 (exempt: it just moved there) and 32 (captured).
  Move(1, 41);
  EXPECT_EQ(game.PendingCount, 1);
  EXPECT_EQ(game.PendingCaptures[0], 32);
  EXPECT_EQ(view.pictures[15], TPicture::White);  // plain again, not marked as captured
}

TEST_F(GameTest, AWalkOfEightOpponentStonesReachesTheEdgeUncaptured) {
  Start();
  // Column 0: black moves to row 0 with white stones on rows 1 to 8 below it.
  SetPosition({{1, 10}, {15, 2}, {16, 3}, {17, 4}, {18, 5}, {19, 6}, {20, 7}, {21, 8}, {22, 9}});
  Move(1, 1);
  EXPECT_EQ(game.PendingCount, 0);
  // Seven closed by a black stone are captured.
  SetPosition({{1, 10}, {2, 9}, {15, 2}, {16, 3}, {17, 4}, {18, 5}, {19, 6}, {20, 7}, {21, 8}});
  game.Turn = 1;
  game.PreviousPoint = 0;
  Move(1, 1);
  EXPECT_EQ(game.PendingCount, 7);
}

TEST_F(GameTest, TargetEndsTheGameNamingTheWinnerAndKeepsTheSettingsLocked) {
  game.ComboBox1Change(0);  // target 5
  Start();
  game.BlackTaken = 4;
  // White 15 moves along row 4 to 41 and closes black 40 against white 39, and black 42
  // against white 43.
  SetPosition({{15, 77}, {16, 39}, {17, 43}, {1, 40}, {2, 42}, {3, 70}});
  game.Turn = 2;
  Move(15, 41);
  ASSERT_EQ(game.PendingCount, 2);
  view.TakeEvents();
  game.CuteButton2Click();
  // The first stone reaches the target; the second is not carried off.
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 5", "msg 取り石の数で 白 の勝ちです。"}));
  EXPECT_TRUE(view.startEnabled);
  EXPECT_FALSE(view.takeEnabled);
  EXPECT_FALSE(view.settingsEnabled);
  EXPECT_EQ(game.BlackTaken, 0);
  EXPECT_EQ(game.PendingCount, 0);
  for (int n = 1; n <= kStones; ++n) {
    EXPECT_EQ(view.parents[n].kind, TParentKind::Board) << n;
    EXPECT_EQ(view.pictures[n], TPicture::None) << n;
  }
  EXPECT_EQ(view.turnLine, "");
  EXPECT_EQ(view.status, "");
}

TEST_F(GameTest, CalledGameNamesTheWinnerAndUnlocksTheSettings) {
  game.ComboBox2Change(0);  // difference 5
  Start();
  game.WhiteTaken = 4;
  SetPosition({{1, 45}, {2, 39}, {15, 40}, {16, 70}});
  Move(1, 41);
  view.TakeEvents();
  game.CuteButton2Click();
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 5", "msg コールドゲームで 黒 の勝ちです。"}));
  EXPECT_TRUE(view.settingsEnabled);
  EXPECT_TRUE(view.startEnabled);
}

// White ahead by the maximum: black's taken count exceeds white's, and white is named.
TEST_F(GameTest, CalledGameWhiteLeadsNamesWhite) {
  game.ComboBox2Change(0);  // difference 5
  Start();
  game.BlackTaken = 4;
  // White 15 moves up column 4 to 41 and closes black 40 against white 39.
  SetPosition({{15, 45}, {16, 39}, {1, 40}, {2, 70}});
  game.Turn = 2;
  Move(15, 41);
  ASSERT_EQ(game.PendingCount, 1);
  view.TakeEvents();
  game.CuteButton2Click();
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 5", "msg コールドゲームで 白 の勝ちです。"}));
  EXPECT_TRUE(view.settingsEnabled);
  EXPECT_TRUE(view.startEnabled);
  EXPECT_EQ(game.BlackTaken, 0);
}

TEST_F(GameTest, TheTargetCheckComesFirst) {
  game.ComboBox1Change(0);  // target 5
  game.ComboBox2Change(0);  // difference 5
  Start();
  game.WhiteTaken = 4;
  SetPosition({{1, 45}, {2, 39}, {15, 40}, {16, 70}});
  Move(1, 41);
  view.TakeEvents();
  game.CuteButton2Click();
  EXPECT_EQ(view.TakeEvents(), (Events{"cue 5", "msg 取り石の数で 黒 の勝ちです。"}));
  EXPECT_FALSE(view.settingsEnabled);
}

TEST_F(GameTest, ASecondGameStartsFromZero) {
  Start();
  Move(2, 12);
  game.CuteButton4Click();
  Start();
  EXPECT_EQ(game.PreviousPoint, 0);
  EXPECT_EQ(game.PendingCount, 0);
  EXPECT_EQ(game.BlackTaken + game.WhiteTaken, 0);
  EXPECT_EQ(game.StonePoint[2], 3);
  Move(2, 12);
  EXPECT_EQ(view.pictures[2], TPicture::BlackLastMove);
}

}  // namespace
}  // namespace pebrio
