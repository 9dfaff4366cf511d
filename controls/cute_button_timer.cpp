// TCuteButtonTimer: see cute_button_timer.h.
#include "controls/cute_button_timer.h"

#include <cassert>

#include "controls/cute_button.h"

TCuteButtonTimer::TCuteButtonTimer(TCuteButton* button) : QTimer(button), FCuteButton(button) {
  assert(button != nullptr && "a drop-down timer always serves a button");
  setSingleShot(true);
}
