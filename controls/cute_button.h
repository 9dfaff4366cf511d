// TCuteButton: a push button that paints itself — a coloured face, a one-line caption and two
// bevels — and can drop down a pop-up menu at once or after being held for a while.
//
// The two bevels split the work: the inner bevel is the permanent relief (raised, or none when
// Flat), the outer bevel alone shows use:
//   none    at rest;
//   raised  while hovered, or while focused when TabFocusUp is set;
//   lowered while the left mouse button or the space bar holds the button down.
//
// Invariants:
//   (1) At most one drop-down timer exists; it is a child of the button and is freed when it
//       fires, on release of the mouse button or of any key, and with the button
//       (BeginDropDown, CancelDropDown, DropDownTimerFired).
//   (2) MarginX and MarginY are never below -1; -1 means "no margin" (SetMarginX, SetMarginY).
//   (3) BevelWidth is at least 1 (SetBevelWidth).
//   (4) FMouseInside mirrors whether the last mouse enter or leave we acted on was an enter,
//       so that the leave Qt sends after a release outside the button is not reported twice
//       (MouseEnter, MouseLeave).
//   (5) While EgnoreContClick runs a handler, OnClick is empty; it is put back afterwards
//       (Click).
#ifndef PEBRIO_CONTROLS_CUTE_BUTTON_H_
#define PEBRIO_CONTROLS_CUTE_BUTTON_H_

#include <QColor>
#include <QPalette>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>

class QMenu;
class QPainter;
class QShortcut;
class TCuteButtonTimer;

class TCuteButton : public QWidget {
  Q_OBJECT

 public:
  enum class TBevel { None, Raised, Lowered };
  enum class TAlignment { LeftJustify, RightJustify, Center };
  enum class TTextLayout { Top, Center, Bottom };
  enum class TBorderStyle { None, Single };

  using TNotifyEvent = std::function<void()>;
  // Sender, the modifier keys and mouse buttons down at that moment, and the mouse position in
  // the button's own coordinates.
  using TMouseMoveEvent =
      std::function<void(TCuteButton*, Qt::KeyboardModifiers, Qt::MouseButtons, QPoint)>;

  // A 75 x 25 button with the system's button colours, a centred caption, a raised inner
  // bevel and no outer bevel, reachable with Tab.
  explicit TCuteButton(QWidget* parent = nullptr);
  ~TCuteButton() override;

  // The caption; an '&' marks the next character as the accelerator (Alt + character in the
  // window acts as Enter on the button), "&&" is a literal '&'.
  void SetCaption(const QString& caption);
  QString Caption() const { return FCaption; }

  void SetColor(const QColor& color);  // the face colour
  QColor Color() const { return FColor; }
  void SetFontColor(const QColor& color);  // the caption colour while enabled
  QColor FontColor() const { return FFontColor; }

  void SetAlignment(TAlignment alignment);
  TAlignment Alignment() const { return FAlignment; }
  void SetLayout(TTextLayout layout);
  TTextLayout Layout() const { return FLayout; }
  // Distance of a left/right-aligned (top/bottom-placed) caption from its side. Values below
  // -1 are stored as -1, which means none.
  void SetMarginX(int margin);
  int MarginX() const { return FMarginX; }
  void SetMarginY(int margin);
  int MarginY() const { return FMarginY; }

  // Width of each bevel; values below 1 are stored as 1.
  void SetBevelWidth(int width);
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelHighlightColor(const QColor& color);
  QColor BevelHighlightColor() const { return FBevelHighlightColor; }
  void SetBevelShadowColor(const QColor& color);
  QColor BevelShadowColor() const { return FBevelShadowColor; }
  void SetBorderStyle(TBorderStyle style);
  TBorderStyle BorderStyle() const { return FBorderStyle; }

  // No permanent relief: the inner bevel is none instead of raised.
  void SetFlat(bool flat);
  bool Flat() const { return FInnerBevel == TBevel::None; }
  void SetShowFocusRect(bool show);
  bool ShowFocusRect() const { return FShowFocusRect; }
  // Keep the outer bevel raised while the button has the focus.
  void SetTabFocusUp(bool up);
  bool TabFocusUp() const { return FTabFocusUp; }
  void SetTabStop(bool stop);
  bool TabStop() const;

  // Paint the face in DisabledColor while disabled (else the face keeps Color).
  void SetUseDisabledColor(bool use);
  bool UseDisabledColor() const { return FUseDisabledColor; }
  void SetDisabledColor(const QColor& color);
  QColor DisabledColor() const { return FDisabledColor; }

  // Ignore clicks that arrive while the OnClick handler is still running.
  void SetEgnoreContClick(bool ignore) { FEgnoreContClick = ignore; }
  bool EgnoreContClick() const { return FEgnoreContClick; }

  // The menu dropped below the button; not owned. nullptr for none.
  void SetDropDownMenu(QMenu* menu);
  QMenu* DropDownMenu() const { return FDropDownMenu; }
  // Hold time in milliseconds before the menu opens; 0 or less opens it on the press itself.
  void SetDropDownDelay(int ms) { FDropDownDelay = ms; }
  int DropDownDelay() const { return FDropDownDelay; }

  void SetOnClick(TNotifyEvent handler) { FOnClick = std::move(handler); }
  const TNotifyEvent& OnClick() const { return FOnClick; }
  // Called before the bevel changes on a mouse enter or leave.
  TMouseMoveEvent OnMouseEnter;
  TMouseMoveEvent OnMouseLeave;

  TBevel BevelOuter() const { return FOuterBevel; }
  TBevel BevelInner() const { return FInnerBevel; }

  // What a click does: swallowed right after a drop-down menu, else OnClick, guarded against
  // queued repeats when EgnoreContClick is set.
  virtual void Click();

 protected:
  // Opens the drop-down menu at once, or starts the delay timer if DropDownDelay > 0.
  virtual void BeginDropDown();
  // Pops the menu up below the button, waits until it closes, then finishes the press as a
  // release of whatever started it (space bar or left mouse button).
  virtual void ShowDropDownMenu();
  // pos is in the button's own coordinates.
  virtual void MouseEnter(QPoint pos);
  virtual void MouseLeave(QPoint pos);

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void SetBevelOuter(TBevel bevel);
  // The bevel the button returns to after a keyboard press: raised if TabFocusUp, else none.
  TBevel RestingFocusedBevel() const { return FTabFocusUp ? TBevel::Raised : TBevel::None; }
  // The end of a left-button press: bevel by where it ended, timer freed, capture released.
  void MouseUp(QPoint pos);
  // The end of a space-bar press; clicks if the space bar was pressed on the button.
  void SpaceReleased();
  // What Enter (and the accelerator) does.
  void EnterPressed();
  void CancelDropDown();
  void DropDownTimerFired();
  void UpdateAccelerator();
  QColor SystemColor(QPalette::ColorRole role) const;
  QRect ClientRect() const;
  void DrawBevel(QPainter& painter, QRect& rect, TBevel bevel) const;

  QString FCaption;
  QColor FColor;
  QColor FFontColor;
  QColor FBevelHighlightColor;
  QColor FBevelShadowColor;
  QColor FDisabledColor{128, 128, 128};
  TAlignment FAlignment = TAlignment::Center;
  TTextLayout FLayout = TTextLayout::Center;
  TBorderStyle FBorderStyle = TBorderStyle::None;
  int FMarginX = -1;
  int FMarginY = -1;
  int FBevelWidth = 1;
  int FDropDownDelay = 0;
  TBevel FOuterBevel = TBevel::None;
  TBevel FInnerBevel = TBevel::Raised;
  bool FShowFocusRect = false;
  bool FTabFocusUp = true;
  bool FUseDisabledColor = false;
  bool FEgnoreContClick = false;
  QMenu* FDropDownMenu = nullptr;
  TNotifyEvent FOnClick;

  bool FMenuShown = false;         // the drop-down menu is open
  bool FSpaceHeld = false;         // the space bar went down on this button
  bool FKeyboardDropDown = false;  // the pending or open drop-down was started by the space bar
  bool FMouseHeld = false;         // the left button went down here: we hold the mouse capture
  bool FMouseInside = false;       // see invariant (4)
  TCuteButtonTimer* FDropDownTimer = nullptr;
  QShortcut* FAccelerator = nullptr;
};

#endif  // PEBRIO_CONTROLS_CUTE_BUTTON_H_
