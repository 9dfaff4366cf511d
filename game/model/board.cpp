// Point arithmetic and the starting layout of the stones.
#include "game/model/board.h"

namespace pebrio {

TPixel PointToPixel(int point) {
  if (point <= 0) return {kStoneInset, kStoneInset};
  return {ColumnOf(point) * kCell + kShapeLeft + kStoneInset,
          RowOf(point) * kCell + kShapeTop + kStoneInset};
}

// Stones come in four groups of seven: black down the left edge (column 0, rows 1-7), black
// along the bottom (row 8, columns 1-7), white along the top (row 0, columns 1-7) and white
// down the right edge (column 8, rows 1-7).
int StartPointOf(int stone) {
  const int group = (stone - 1) / 7;
  const int k = (stone - 1) % 7 + 1;  // 1 to 7
  switch (group) {
    case 0:
      return PointOf(k + 1, 1);
    case 1:
      return PointOf(9, k + 1);
    case 2:
      return PointOf(1, k + 1);
    default:
      return PointOf(k + 1, 9);
  }
}

TPixel HomePixelOf(int stone) {
  const int group = (stone - 1) / 7;
  const int along = 54 + 39 * ((stone - 1) % 7);  // 54, 93, ..., 288
  switch (group) {
    case 0:
      return {14, along};
    case 1:
      return {along, 326};
    case 2:
      return {along, 14};
    default:
      return {326, along};
  }
}

}  // namespace pebrio
