// The side effects of the game's rules, as the rules see them: sound cues, modal message
// boxes, and what the window shows. The main window implements this interface; tests record
// the calls. Nothing here may call back into the game.
#pragma once

#include <string>

namespace pebrio {

// The picture a stone shows.
enum class TPicture {
  None,
  Black,
  White,
  BlackLastMove,
  WhiteLastMove,
  BlackCaptured,
  WhiteCaptured
};

// Where a stone's picture lives: on the board frame (Panel1) or in a tray box 1 to 10.
enum class TParentKind { Board, BlackTray, WhiteTray };
struct TStoneParent {
  TParentKind kind = TParentKind::Board;
  int box = 0;  // 1 to 10 for the trays
};

class TGameView {
 public:
  virtual ~TGameView() = default;

  // Starts sound cue 1 to 9 and returns at once.
  virtual void PlayCue(int cue) = 0;
  // Shows a modal information box with an OK button and returns when it is closed.
  virtual void ShowMessage(const std::string& text) = 0;
  // Loads a picture into stone n (None clears it). A picture that cannot be loaded is
  // reported by the view itself; the caller goes on either way.
  virtual void ShowPicture(int stone, TPicture picture) = 0;
  // Moves stone n's picture to left, top in its parent.
  virtual void MoveStonePicture(int stone, int left, int top) = 0;
  virtual void SetStoneParent(int stone, TStoneParent parent) = 0;
  virtual void SetTurnLine(const std::string& text) = 0;    // Label4
  virtual void SetStatusText(const std::string& text) = 0;  // status panel 0
  virtual void SetStartEnabled(bool enabled) = 0;           // CuteButton1
  virtual void SetTakeEnabled(bool enabled) = 0;            // CuteButton2
  virtual void SetSettingsEnabled(bool enabled) = 0;        // the three setting boxes
};

}  // namespace pebrio
