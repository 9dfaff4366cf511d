// The reference model of the ペブリオ rules: setup, moves, captures, taking stones and the end
// of a game, with the pictures and pixel positions the window shows. Written plainly, for
// reading against the rules rather than for speed.
#include "tests/app/reference_game.h"

#include <QJsonArray>
#include <QStringList>
#include <cstdlib>

namespace pebrio::reference {

namespace {

int Column(int point) {
  return (point - 1) / 9;
}
int Row(int point) {
  return (point - 1) % 9;
}

// Home pixel position of a stone's picture in Panel1, from the layout.
int HomeLeft(int stone) {
  if (stone <= 7) return 14;
  if (stone <= 14) return 54 + 39 * (stone - 8);
  if (stone <= 21) return 54 + 39 * (stone - 15);
  return 326;
}
int HomeTop(int stone) {
  if (stone <= 7) return 54 + 39 * (stone - 1);
  if (stone <= 14) return 326;
  if (stone <= 21) return 14;
  return 54 + 39 * (stone - 22);
}

QString PlainPicture(int stone) {
  return stone > 14 ? QStringLiteral("stW") : QStringLiteral("stB");
}

struct Step {
  int delta;
  int dRow;
  int dColumn;
};
// Up, down, left, right: the order of both walks.
const Step kSteps[4] = {{-1, -1, 0}, {1, 1, 0}, {-9, 0, -1}, {9, 0, 1}};

bool OnBoard(int row, int column) {
  return row >= 0 && row <= 8 && column >= 0 && column <= 8;
}

// The capture scan on a board of colours: the points marked when mover has just moved to
// target and the move before ended on previous.
std::vector<int> FindCaptures(const std::array<int, 82>& colour, int target, int previous,
                              int& directions, bool& exempted) {
  const int mover = colour[target];
  const int opponent = mover % 2 + 1;
  std::vector<int> found;
  directions = 0;
  exempted = false;
  for (const Step& s : kSteps) {
    int row = Row(target) + s.dRow;
    int column = Column(target) + s.dColumn;
    if (!OnBoard(row, column) || colour[target + s.delta] != opponent) continue;
    std::vector<int> run;
    bool closed = false;
    int p = target;
    while (OnBoard(row, column)) {
      p += s.delta;
      if (colour[p] == opponent) {
        run.push_back(p);
      } else {
        closed = colour[p] == mover;
        break;
      }
      row += s.dRow;
      column += s.dColumn;
    }
    if (!closed) continue;
    bool holdsPrevious = false;
    for (int q : run) holdsPrevious = holdsPrevious || q == previous;
    if (holdsPrevious) {
      exempted = true;
      continue;
    }
    ++directions;
    found.insert(found.end(), run.begin(), run.end());
  }
  return found;
}

}  // namespace

int TReferenceGame::StartPoint(int stone) {
  if (stone <= 7) return stone + 1;              // column 0, rows 1 to 7
  if (stone <= 14) return 9 * (stone - 7) + 9;   // row 8, columns 1 to 7
  if (stone <= 21) return 9 * (stone - 14) + 1;  // row 0, columns 1 to 7
  return 72 + (stone - 21) + 1;                  // column 8, rows 1 to 7
}

TReferenceGame::TReferenceGame() {
  startEnabled_ = true;
  takeEnabled_ = false;
  settingsEnabled_ = true;
  firstPlayer_ = 1;
  turn_ = 1;
  targetCount_ = 10;
  maxDifference_ = 9;
  ResetGame();
  status0_ = QStringLiteral(" 条件設定がよければ、「スタート」ボタンで始めてください。");
  Cue(5);
}

void TReferenceGame::Cue(int cue) {
  Emit(QJsonObject{{QStringLiteral("cue"), cue}});
}

void TReferenceGame::Message(const QString& text) {
  Emit(QJsonObject{{QStringLiteral("msgbox"), text}});
}

std::vector<QJsonObject> TReferenceGame::Run(const QString& line) {
  const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  const QString& c = w[0];
  if (c == QLatin1String("first")) ChangeSetting(3, w[1].toInt());
  if (c == QLatin1String("target")) ChangeSetting(1, w[1].toInt());
  if (c == QLatin1String("diff")) ChangeSetting(2, w[1].toInt());
  if (c == QLatin1String("start") && startEnabled_) Start();
  if (c == QLatin1String("take") && takeEnabled_) Take();
  if (c == QLatin1String("cancel")) Cancel();
  if (c == QLatin1String("drag")) Drag(w[1].toInt());
  if (c == QLatin1String("drop")) Drop(w[2].toInt(), w[3].toInt());
  if (c == QLatin1String("move")) {
    const int p = w[2].toInt();
    Drag(w[1].toInt());
    Drop(39 * Column(p) + 19, 39 * Row(p) + 19);
  }
  if (c == QLatin1String("state")) Emit(StateEvent());
  return TakeEvents();
}

std::vector<QJsonObject> TReferenceGame::TakeEvents() {
  std::vector<QJsonObject> out;
  out.swap(events_);
  return out;
}

void TReferenceGame::ResetGame() {
  blackTaken_ = 0;
  whiteTaken_ = 0;
  pendingCount_ = 0;
  previousPoint_ = 0;
  turn_ = firstPlayer_;
  label4_.clear();
  status0_.clear();
  for (int n = 1; n <= 28; ++n) {
    picture_[n].clear();
    stonePoint_[n] = 0;
    left_[n] = HomeLeft(n);
    top_[n] = HomeTop(n);
    parent_[n] = QStringLiteral("Panel1");
  }
  stoneAt_.fill(0);
  colourAt_.fill(0);
}

void TReferenceGame::PlaceStonePicture(int stone, int point) {
  if (point >= 1) {
    left_[stone] = 39 * Column(point) + 14;
    top_[stone] = 39 * Row(point) + 14;
  } else {
    left_[stone] = 6;
    top_[stone] = 6;
  }
  picture_[stone] = PlainPicture(stone);
}

void TReferenceGame::ChangeSetting(int box, int index) {
  if (!settingsEnabled_) return;
  if (box == 3) {
    firstPlayer_ = index + 1;
    turn_ = index + 1;
  } else if (box == 1) {
    targetCount_ = index + 5;
  } else {
    maxDifference_ = index + 5;
  }
  Cue(2);
}

void TReferenceGame::Start() {
  settingsEnabled_ = false;
  stoneAt_.fill(0);
  colourAt_.fill(0);
  for (int n = 1; n <= 28; ++n) {
    const int p = StartPoint(n);
    stoneAt_[p] = n;
    colourAt_[p] = ColourOfStone(n);
    stonePoint_[n] = p;
    picture_[n] = PlainPicture(n);
  }
  startEnabled_ = false;
  label4_ = QStringLiteral("黒番で始めてください。");
  status0_ = QStringLiteral(" 石の移動を進めてください。");
  Cue(1);
}

void TReferenceGame::Cancel() {
  ResetGame();
  startEnabled_ = true;
  takeEnabled_ = false;
  settingsEnabled_ = true;
  status0_ = QStringLiteral(" 「スタート」ボタンで始めてください。");
  Cue(1);
}

void TReferenceGame::Drag(int stone) {
  dragging_ = false;
  if (stonePoint_[stone] == 0) return;  // choice (3): no drag, no cue, no message
  draggedStone_ = stone;
  sourcePoint_ = stonePoint_[stone];
  draggedColour_ = ColourOfStone(stone);
  if (turn_ == draggedColour_) {
    dragging_ = true;
    return;
  }
  Cue(8);
  if (turn_ == 1) {
    Message(QStringLiteral("黒番です。"));
  } else if (turn_ == 2) {
    Message(QStringLiteral("白番です。"));
  } else {
    dragging_ = true;  // a turn of 0 lets either colour move
  }
}

std::vector<int> TReferenceGame::ReachableFrom(int source) const {
  std::vector<int> out;
  for (const Step& s : kSteps) {
    int row = Row(source) + s.dRow;
    int column = Column(source) + s.dColumn;
    int p = source;
    while (OnBoard(row, column)) {
      p += s.delta;
      if (stoneAt_[p] != 0) break;
      out.push_back(p);
      row += s.dRow;
      column += s.dColumn;
    }
  }
  return out;
}

TMovePreview TReferenceGame::Preview(int source, int target, int mover) const {
  TMovePreview preview;
  for (int p : ReachableFrom(source)) preview.reachable = preview.reachable || p == target;
  if (!preview.reachable) return preview;
  std::array<int, 82> colour = colourAt_;
  colour[source] = 0;
  colour[target] = mover;
  preview.captured =
      static_cast<int>(FindCaptures(colour, target, previousPoint_, preview.capturingDirections,
                                    preview.exemptionApplies)
                           .size());
  return preview;
}

void TReferenceGame::Drop(int x, int y) {
  if (!dragging_) return;
  dragging_ = false;
  // Choice (3) carried to the drop: a stone taken or cleared away while it was dragged no
  // longer stands on its source point, and the move logic must not run for it.
  if (stonePoint_[draggedStone_] != sourcePoint_) return;
  if (pendingCount_ > 0) {
    Cue(6);
    Message(QStringLiteral("「石取り」ボタンをクリックしてください。"));
    return;
  }
  const int column = x / 39;
  const int row = y / 39;
  const int target = 9 * column + row + 1;
  bool reachable = false;
  if (column <= 8 && row <= 8) {  // choice (2): beyond the ninth cell is never reachable
    for (int p : ReachableFrom(sourcePoint_)) reachable = reachable || p == target;
  }
  if (!reachable) {
    Cue(8);
    Message(QStringLiteral("そこには移動できません。"));
    PlaceStonePicture(draggedStone_, sourcePoint_);
    return;
  }
  left_[draggedStone_] = 39 * column + 14;
  top_[draggedStone_] = 39 * row + 14;
  stoneAt_[sourcePoint_] = 0;
  colourAt_[sourcePoint_] = 0;
  stoneAt_[target] = draggedStone_;
  colourAt_[target] = draggedColour_;
  stonePoint_[draggedStone_] = target;
  if (draggedColour_ == 1) {
    picture_[draggedStone_] = QStringLiteral("stBG");
    if (previousPoint_ > 0) picture_[lastMovedStone_] = QStringLiteral("stW");
    label4_ = QStringLiteral("次は白番です。");
    turn_ = 2;
  } else {
    picture_[draggedStone_] = QStringLiteral("stWG");
    if (previousPoint_ > 0) picture_[lastMovedStone_] = QStringLiteral("stB");
    label4_ = QStringLiteral("次は黒番です。");
    turn_ = 1;
  }
  // The scan reads the target and the previous point before the latter is replaced.
  int directions = 0;
  bool exempted = false;
  const std::vector<int> found =
      FindCaptures(colourAt_, target, previousPoint_, directions, exempted);
  pending_.fill(0);
  pendingCount_ = 0;
  for (int p : found) pending_[pendingCount_++] = p;
  for (int p : found) {
    picture_[stoneAt_[p]] = colourAt_[p] == 1 ? QStringLiteral("stBR") : QStringLiteral("stWR");
  }
  previousPoint_ = target;
  lastMovedStone_ = draggedStone_;
  if (pendingCount_ > 0) {
    Cue(1);
    takeEnabled_ = true;
    status0_ = QStringLiteral(" 「石取り」ボタンをクリックしてください。");
    Cue(4);
  } else {
    status0_.clear();
    Cue(1);
  }
}

void TReferenceGame::Take() {
  for (int p : pending_) {
    if (p == 0) continue;
    const int c = colourAt_[p];
    const int n = stoneAt_[p];
    if (c == 1) {
      ++blackTaken_;
      parent_[n] = QStringLiteral("Panel%1").arg(blackTaken_ + 1);
    } else {
      ++whiteTaken_;
      parent_[n] = QStringLiteral("Panel%1").arg(whiteTaken_ + 11);
    }
    PlaceStonePicture(n, 0);
    stoneAt_[p] = 0;
    colourAt_[p] = 0;
    stonePoint_[n] = 0;
    // Choice (1): the message names the side that took the stones.
    const QString winner = c == 1 ? QStringLiteral("白") : QStringLiteral("黒");
    if (whiteTaken_ == targetCount_ || blackTaken_ == targetCount_) {
      Cue(5);
      Message(QStringLiteral("取り石の数で ") + winner + QStringLiteral(" の勝ちです。"));
      ResetGame();
      startEnabled_ = true;
      takeEnabled_ = false;
      return;
    }
    if (std::abs(whiteTaken_ - blackTaken_) == maxDifference_) {
      Cue(5);
      Message(QStringLiteral("コールドゲームで ") + winner + QStringLiteral(" の勝ちです。"));
      ResetGame();
      startEnabled_ = true;
      takeEnabled_ = false;
      settingsEnabled_ = true;
      return;
    }
  }
  pendingCount_ = 0;
  takeEnabled_ = false;
  status0_ = QStringLiteral(" 石の移動を進めてください。");
  Cue(7);
}

QJsonObject TReferenceGame::StateEvent() const {
  const auto ints = [](const auto& values, int from, int to) {
    QJsonArray a;
    for (int i = from; i <= to; ++i) a.append(values[i]);
    return a;
  };
  const auto texts = [](const std::array<QString, 29>& values) {
    QJsonArray a;
    for (int i = 1; i <= 28; ++i) a.append(values[i]);
    return a;
  };
  QJsonObject s;
  s[QStringLiteral("stoneAt")] = ints(stoneAt_, 1, 81);
  s[QStringLiteral("colourAt")] = ints(colourAt_, 1, 81);
  s[QStringLiteral("stonePoint")] = ints(stonePoint_, 1, 28);
  s[QStringLiteral("turn")] = turn_;
  s[QStringLiteral("firstPlayer")] = firstPlayer_;
  s[QStringLiteral("targetCount")] = targetCount_;
  s[QStringLiteral("maxDifference")] = maxDifference_;
  s[QStringLiteral("blackTaken")] = blackTaken_;
  s[QStringLiteral("whiteTaken")] = whiteTaken_;
  s[QStringLiteral("pendingCount")] = pendingCount_;
  s[QStringLiteral("previousPoint")] = previousPoint_;
  s[QStringLiteral("lastMovedStone")] = lastMovedStone_;
  s[QStringLiteral("pending")] = ints(pending_, 0, 13);
  s[QStringLiteral("label4")] = label4_;
  s[QStringLiteral("status0")] = status0_;
  s[QStringLiteral("startEnabled")] = startEnabled_;
  s[QStringLiteral("takeEnabled")] = takeEnabled_;
  s[QStringLiteral("settingsEnabled")] = settingsEnabled_;
  s[QStringLiteral("pictures")] = texts(picture_);
  s[QStringLiteral("parents")] = texts(parent_);
  s[QStringLiteral("lefts")] = ints(left_, 1, 28);
  s[QStringLiteral("tops")] = ints(top_, 1, 28);
  return QJsonObject{{QStringLiteral("state"), s}};
}

}  // namespace pebrio::reference
