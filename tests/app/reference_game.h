// TReferenceGame: an independent, deliberately plain model of the ペブリオ rules and of the
// window state the script mode reports. It takes the same command lines as the script mode
// and predicts the JSON events each one prints (cues, modal boxes, states), so that random
// games can be checked line by line against the real window.
//
// It shares no code with the game: points, stones, pictures and pixel positions are worked out
// here again from the rules. Decisions the rules leave open follow the team's choices:
//   (1) the end messages name the winner, the colour opposite the stone taken last;
//   (2) a drop whose column or row is beyond 8 is refused like an unreachable point;
//   (3) a stone standing on no point starts no drag, silently, and ends any drag under way;
//       a drop of a stone that left its point while dragged (taken, or cleared by Cancel)
//       does nothing either;
//   (4) a capture walk may meet 8 opponent stones, reach the edge and capture nothing.
#pragma once

#include <QJsonObject>
#include <QString>
#include <array>
#include <vector>

namespace pebrio::reference {

// What one move would do, worked out without playing it (for the random game generator).
struct TMovePreview {
  bool reachable = false;
  int captured = 0;               // stones the move would mark
  int capturingDirections = 0;    // directions with a closed run that is captured
  bool exemptionApplies = false;  // a closed run is spared because it holds PreviousPoint
};

class TReferenceGame {
 public:
  // Start-up of the window: prints cue 5.
  TReferenceGame();

  // Performs one script command and returns the events it prints, in order. The command must
  // be well formed (the generator only produces such lines).
  std::vector<QJsonObject> Run(const QString& line);
  // The events printed so far and not yet returned (after construction: the start-up cue).
  std::vector<QJsonObject> TakeEvents();

  // The {"state": {...}} event for the current state.
  QJsonObject StateEvent() const;

  // Read access for the generator.
  int StoneAt(int point) const { return stoneAt_[point]; }
  int ColourAt(int point) const { return colourAt_[point]; }
  int StonePoint(int stone) const { return stonePoint_[stone]; }
  int Turn() const { return turn_; }
  int PendingCount() const { return pendingCount_; }
  int BlackTaken() const { return blackTaken_; }
  int WhiteTaken() const { return whiteTaken_; }
  int TargetCount() const { return targetCount_; }
  int MaxDifference() const { return maxDifference_; }
  int PreviousPoint() const { return previousPoint_; }
  bool StartEnabled() const { return startEnabled_; }
  bool TakeEnabled() const { return takeEnabled_; }
  bool SettingsEnabled() const { return settingsEnabled_; }
  bool Dragging() const { return dragging_; }
  bool GameRunning() const { return !startEnabled_; }

  // Points the stone on source could move to, in walking order.
  std::vector<int> ReachableFrom(int source) const;
  // What moving the stone on source to target would do for a mover of the given colour.
  TMovePreview Preview(int source, int target, int mover) const;

  static int ColourOfStone(int stone) { return stone > 14 ? 2 : 1; }
  static int StartPoint(int stone);

 private:
  void Emit(QJsonObject event) { events_.push_back(std::move(event)); }
  void Cue(int cue);
  void Message(const QString& text);

  void ResetGame();
  void PlaceStonePicture(int stone, int point);
  void ChangeSetting(int box, int index);
  void Start();
  void Cancel();
  void Take();
  void Drag(int stone);
  void Drop(int x, int y);
  void ScanCaptures();

  std::vector<QJsonObject> events_;

  std::array<int, 82> stoneAt_{};
  std::array<int, 82> colourAt_{};
  std::array<int, 29> stonePoint_{};
  int turn_ = 1;
  int firstPlayer_ = 1;
  int targetCount_ = 10;
  int maxDifference_ = 9;
  int blackTaken_ = 0;
  int whiteTaken_ = 0;
  int pendingCount_ = 0;
  std::array<int, 14> pending_{};
  int previousPoint_ = 0;
  int lastMovedStone_ = 0;
  QString label4_;
  QString status0_;
  bool startEnabled_ = true;
  bool takeEnabled_ = false;
  bool settingsEnabled_ = true;
  std::array<QString, 29> picture_;
  std::array<QString, 29> parent_;
  std::array<int, 29> left_{};
  std::array<int, 29> top_{};

  bool dragging_ = false;
  int draggedStone_ = 0;
  int draggedColour_ = 0;
  int sourcePoint_ = 0;
};

}  // namespace pebrio::reference
