// TForm4: the main window of ペブリオ. It lays out the board, the trays, the setting boxes,
// the three buttons, the menu and the status bar with fixed geometry, turns their events into
// calls of the game's handlers (keeping the handlers' names), and shows what the game tells
// it through TGameView.
//
// Stone drags are made by hand inside the window: a press on a stone runs the drag start, an
// overlay shows the drag image with its hot spot at its centre while the mouse moves over any
// control, and the release hit-tests the control under the cursor and calls the drop handler
// with coordinates in that control's own client space.
#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <array>
#include <functional>
#include <memory>

#include "game/model/pebrio_game.h"

class QComboBox;
class QLabel;
class QTimer;
class TCuteButton;

namespace pebrio {

namespace ui {
class TSoundPlayer;
}
class TImage;
class TPanel;

// Hooks that replace the sound and the modal boxes, for the script mode and tests. Each one
// left empty keeps the real behaviour.
struct TForm4Hooks {
  std::function<void(int cue)> cue;
  std::function<void(const QString& text)> message;  // modal box answered with its default
  QString exeFolder;  // the folder of pictures and help; empty: the executable's folder
};

class TForm4 : public QMainWindow, private TGameView {
 public:
  explicit TForm4(TForm4Hooks hooks = {}, QWidget* parent = nullptr);
  ~TForm4() override;

  // Window event handlers.
  void FormCreate();
  void Timer1Timer();
  void N1Click();
  void About1Click();
  void Exit1Click();
  void ComboBox1Change();
  void ComboBox2Change();
  void ComboBox3Change();
  void CuteButton1Click();
  void CuteButton2Click();
  void CuteButton4Click();
  // A press on stone picture n; true when the drag goes on.
  bool Image1StartDrag(int stone);
  // The drag in progress released over control at pos (in control's coordinates). Controls
  // that accept no drops, or no drag in progress, make this do nothing.
  void DragDropOn(QWidget* control, QPoint pos);
  bool Dragging() const { return dragging_; }
  // Ends the drag in progress without a drop.
  void CancelDrag();

  // Marks the control and every control inside it so that the drag image shows over it.
  void EnableDragImages(QWidget* control);

  // Access for the script mode and tests.
  const TPebrioGame& Game() const { return game_; }
  QWidget* Control(const QString& name) const;
  TImage* StoneImage(int stone) const { return stoneImage_[stone]; }
  QComboBox* ComboBox(int number) const;  // 1, 2 or 3
  TCuteButton* Button(int number) const;  // 1, 2 or 4
  QString TurnLine() const;
  QString StatusText(int panel) const;
  const QString& ExeFolder() const { return exeFolder_; }
  int DragImageIndex() const { return dragImageIndex_; }

 private:
  // TGameView
  void PlayCue(int cue) override;
  void ShowMessage(const std::string& text) override;
  void ShowPicture(int stone, TPicture picture) override;
  void MoveStonePicture(int stone, int left, int top) override;
  void SetStoneParent(int stone, TStoneParent parent) override;
  void SetTurnLine(const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void SetStartEnabled(bool enabled) override;
  void SetTakeEnabled(bool enabled) override;
  void SetSettingsEnabled(bool enabled) override;

  void BuildLayout();
  void BuildMenu();
  void BuildStatusBar();
  QComboBox* MakeComboBox(const QString& name, int left, int top, const QStringList& items);
  TCuteButton* MakeButton(const QString& name, int left, int top, const QString& caption,
                          QColor color);
  void ShowModal(const QString& text);
  bool eventFilter(QObject* watched, QEvent* event) override;
  void MoveOverlay(QPoint globalPos);
  void EndDrag(QPoint globalPos);

  TForm4Hooks hooks_;
  TPebrioGame game_;
  std::unique_ptr<ui::TSoundPlayer> sound_;
  QString exeFolder_;
  QWidget* client_ = nullptr;
  TPanel* panel1_ = nullptr;
  std::array<TImage*, kStones + 1> stoneImage_{};
  std::array<TPanel*, kTrayBoxes + 1> blackTray_{};
  std::array<TPanel*, kTrayBoxes + 1> whiteTray_{};
  QComboBox* comboBox1_ = nullptr;
  QComboBox* comboBox2_ = nullptr;
  QComboBox* comboBox3_ = nullptr;
  TCuteButton* cuteButton1_ = nullptr;
  TCuteButton* cuteButton2_ = nullptr;
  TCuteButton* cuteButton4_ = nullptr;
  QLabel* label4_ = nullptr;
  QLabel* status0_ = nullptr;
  QLabel* status1_ = nullptr;
  QTimer* timer1_ = nullptr;
  // ImageList1: the two drag images, black and white.
  std::array<QPixmap, 2> imageList1_;
  int dragImageIndex_ = 0;
  bool dragging_ = false;
  QLabel* dragOverlay_ = nullptr;
};

}  // namespace pebrio
