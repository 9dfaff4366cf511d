// Paints one round stone with a soft radial shading and a faint drop shadow. Shared by the
// stone pictures and the window icon so that both show the same stones.
#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

enum class StoneColour { kBlack, kWhite };

// How the stone is marked: plain, the stone that made the last move (green), or a captured
// stone that waits to be taken (red).
enum class StoneMark { kPlain, kLastMove, kCaptured };

// Paints the stone so that it, with its shadow, fits inside box. The painter must have
// antialiasing on; its state is restored on return.
void PaintStone(QPainter& painter, const QRectF& box, StoneColour colour, StoneMark mark);
