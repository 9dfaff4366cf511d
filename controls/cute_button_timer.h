// TCuteButtonTimer: the one-shot timer that opens a push button's drop-down menu once the
// button has been held for its DropDownDelay.
//
// Invariants:
//   (1) A button has at most one of these at a time; the button creates it on demand as its
//       own child (so it dies with the button) and frees it when it fires or when the mouse
//       button or a key is released first (TCuteButton::BeginDropDown, CancelDropDown).
//   (2) FCuteButton is the button it serves and never changes.
#ifndef PEBRIO_CONTROLS_CUTE_BUTTON_TIMER_H_
#define PEBRIO_CONTROLS_CUTE_BUTTON_TIMER_H_

#include <QTimer>

class TCuteButton;

class TCuteButtonTimer : public QTimer {
  Q_OBJECT

 public:
  // Creates a stopped single-shot timer owned by button.
  // REQUIRES: button != nullptr.
  explicit TCuteButtonTimer(TCuteButton* button);

  TCuteButton* const FCuteButton;
};

#endif  // PEBRIO_CONTROLS_CUTE_BUTTON_TIMER_H_
