// The board of ペブリオ: point numbering, stones, colours, the home positions of the stones
// and the pixel geometry of the board frame.
//
// Points are numbered 1 to 81 column by column: column = (p - 1) / 9, row = (p - 1) % 9, so
// p = 9 * column + row + 1. Stones 1 to 14 are black, 15 to 28 white. Colours: 0 none,
// 1 black, 2 white.
//
// Invariants kept by TPebrioGame while a game runs:
//   (1) for every stone n on the board, StoneAt[StonePoint[n]] == n and ColourAt there is n's
//       colour;
//   (2) every point whose StoneAt is 0 has ColourAt 0.
#pragma once

#include <array>

namespace pebrio {

constexpr int kPoints = 81;
constexpr int kStones = 28;
constexpr int kStonesPerSide = 14;
constexpr int kTrayBoxes = 10;
constexpr int kCell = 39;      // pixels between grid lines
constexpr int kShapeLeft = 8;  // Shape1 inside Panel1
constexpr int kShapeTop = 8;
constexpr int kStoneInset = 6;  // a stone sits 6 pixels inside its cell or tray box
constexpr int kStoneSize = 28;

constexpr int kNoColour = 0;
constexpr int kBlack = 1;
constexpr int kWhite = 2;

struct TPixel {
  int left = 0;
  int top = 0;
  bool operator==(const TPixel&) const = default;
};

inline int ColumnOf(int point) {
  return (point - 1) / 9;
}
inline int RowOf(int point) {
  return (point - 1) % 9;
}
inline int OppositeColour(int colour) {
  return colour % 2 + 1;
}
inline int ColourOfStone(int stone) {
  return stone > kStonesPerSide ? kWhite : kBlack;
}

// Point of a 1-based row r and column c.
inline int PointOf(int row, int column) {
  return row + 9 * column - 9;
}

// Where a stone's picture stands for a point, in Panel1 coordinates; points <= 0 give the
// place inside a tray box.
TPixel PointToPixel(int point);

// The point a stone starts a game on (1 to 81).
int StartPointOf(int stone);

// The stone's home pixel position in Panel1, where its picture rests between games. Home
// positions in rows or columns 1 to 7 lie one pixel right of or below PointToPixel.
TPixel HomePixelOf(int stone);

}  // namespace pebrio
