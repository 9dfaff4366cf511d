// TCuteButton: see cute_button.h for the bevel states and the invariants kept here.
//
// Re-entrancy: Click (with EgnoreContClick) and ShowDropDownMenu run nested event processing,
// during which any handler may run and may even delete the button. Every path that touches
// the button after such a point holds a QPointer to it and stops if it is gone.
#include "controls/cute_button.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <algorithm>

#include "controls/cute_button_timer.h"

TCuteButton::TCuteButton(QWidget* parent) : QWidget(parent) {
  resize(75, 25);
  setFocusPolicy(Qt::StrongFocus);
  // Every pixel is painted by paintEvent, so Qt need not clear the background first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The system colours are taken once, as the defaults; a form that wants others sets them.
  FColor = SystemColor(QPalette::Button);
  FFontColor = SystemColor(QPalette::WindowText);
  FBevelHighlightColor = SystemColor(QPalette::Light);
  FBevelShadowColor = SystemColor(QPalette::Dark);
}

TCuteButton::~TCuteButton() = default;

// The system colours are one colour each, whatever the button's state: always the palette's
// active group, never the washed-out disabled one.
QColor TCuteButton::SystemColor(QPalette::ColorRole role) const {
  return palette().color(QPalette::Active, role);
}

// ---------------------------------------------------------------------------------------------
// Properties. Setters repaint only when the value changed; the disabled-face settings repaint
// only while they are visible, that is while the button is disabled.

void TCuteButton::SetCaption(const QString& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  UpdateAccelerator();
  update();
}

void TCuteButton::SetColor(const QColor& color) {
  if (color == FColor) return;
  FColor = color;
  update();
}

void TCuteButton::SetFontColor(const QColor& color) {
  if (color == FFontColor) return;
  FFontColor = color;
  update();
}

void TCuteButton::SetAlignment(TAlignment alignment) {
  if (alignment == FAlignment) return;
  FAlignment = alignment;
  update();
}

void TCuteButton::SetLayout(TTextLayout layout) {
  if (layout == FLayout) return;
  FLayout = layout;
  update();
}

void TCuteButton::SetMarginX(int margin) {
  margin = std::max(margin, -1);  // invariant (2)
  if (margin == FMarginX) return;
  FMarginX = margin;
  update();
}

void TCuteButton::SetMarginY(int margin) {
  margin = std::max(margin, -1);  // invariant (2)
  if (margin == FMarginY) return;
  FMarginY = margin;
  update();
}

void TCuteButton::SetBevelWidth(int width) {
  width = std::max(width, 1);  // invariant (3)
  if (width == FBevelWidth) return;
  FBevelWidth = width;
  update();
}

void TCuteButton::SetBevelHighlightColor(const QColor& color) {
  if (color == FBevelHighlightColor) return;
  FBevelHighlightColor = color;
  update();
}

void TCuteButton::SetBevelShadowColor(const QColor& color) {
  if (color == FBevelShadowColor) return;
  FBevelShadowColor = color;
  update();
}

void TCuteButton::SetBorderStyle(TBorderStyle style) {
  if (style == FBorderStyle) return;
  FBorderStyle = style;
  update();
}

void TCuteButton::SetFlat(bool flat) {
  const TBevel inner = flat ? TBevel::None : TBevel::Raised;
  if (inner == FInnerBevel) return;
  FInnerBevel = inner;
  update();
}

void TCuteButton::SetShowFocusRect(bool show) {
  if (show == FShowFocusRect) return;
  FShowFocusRect = show;
  update();
}

void TCuteButton::SetTabFocusUp(bool up) {
  FTabFocusUp = up;
}

void TCuteButton::SetTabStop(bool stop) {
  // A button off the tab chain still takes the focus when clicked.
  setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
}

bool TCuteButton::TabStop() const {
  return (focusPolicy() & Qt::TabFocus) != 0;
}

void TCuteButton::SetUseDisabledColor(bool use) {
  if (use == FUseDisabledColor) return;
  FUseDisabledColor = use;
  if (!isEnabled()) update();
}

void TCuteButton::SetDisabledColor(const QColor& color) {
  if (color == FDisabledColor) return;
  FDisabledColor = color;
  if (!isEnabled()) update();
}

void TCuteButton::SetDropDownMenu(QMenu* menu) {
  if (menu == FDropDownMenu) return;
  FDropDownMenu = menu;
  update();
}

void TCuteButton::SetBevelOuter(TBevel bevel) {
  if (bevel == FOuterBevel) return;
  FOuterBevel = bevel;
  update();
}

// The accelerator is a window-wide Alt + character shortcut. Qt's shortcut map does not match
// a shortcut of a hidden or disabled widget, so the key then takes its ordinary course, as it
// should when the button cannot act.
void TCuteButton::UpdateAccelerator() {
  const QKeySequence key = QKeySequence::mnemonic(FCaption);
  if (key.isEmpty()) {
    delete FAccelerator;
    FAccelerator = nullptr;
    return;
  }
  if (FAccelerator == nullptr) {
    FAccelerator = new QShortcut(this);
    FAccelerator->setContext(Qt::WindowShortcut);
    connect(FAccelerator, &QShortcut::activated, this, [this] {
      if (isEnabled() && parentWidget() != nullptr && parentWidget()->isVisible()) EnterPressed();
    });
  }
  FAccelerator->setKey(key);
}

// ---------------------------------------------------------------------------------------------
// Clicks.

void TCuteButton::Click() {
  // The space-bar release that closes a keyboard drop-down arrives here; the menu was the
  // button's answer to that press, so it must not click as well.
  if (FMenuShown) {
    FMenuShown = false;
    return;
  }
  if (!FEgnoreContClick) {
    // A copy, because the handler may replace OnClick while it runs.
    const TNotifyEvent handler = FOnClick;
    if (handler) handler();
    return;
  }
  // Take the handler out, so that clicks the user made while it ran — still waiting in the
  // event queue — reach a button with no handler and vanish when we drain the queue below.
  TNotifyEvent saved = std::move(FOnClick);
  FOnClick = nullptr;  // invariant (5)
  QPointer<TCuteButton> self(this);
  if (saved) saved();
  if (self.isNull()) return;
  QCoreApplication::processEvents();
  if (self.isNull()) return;
  FOnClick = std::move(saved);
}

// ---------------------------------------------------------------------------------------------
// Mouse.

void TCuteButton::MouseEnter(QPoint pos) {
  FMouseInside = true;
  // Qt delivers no enter to another widget while a button is held, so a held left button can
  // only be ours; FMouseHeld covers events sent without the window system's button state.
  Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
  if (FMouseHeld) buttons |= Qt::LeftButton;
  if (OnMouseEnter) {
    const TMouseMoveEvent handler = OnMouseEnter;
    handler(this, QGuiApplication::queryKeyboardModifiers(), buttons, pos);
  }
  SetBevelOuter((buttons & Qt::LeftButton) ? TBevel::Lowered : TBevel::Raised);
}

void TCuteButton::MouseLeave(QPoint pos) {
  FMouseInside = false;
  Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
  if (FMouseHeld) buttons |= Qt::LeftButton;
  if (OnMouseLeave) {
    const TMouseMoveEvent handler = OnMouseLeave;
    handler(this, QGuiApplication::queryKeyboardModifiers(), buttons, pos);
  }
  SetBevelOuter(hasFocus() && FTabFocusUp ? TBevel::Raised : TBevel::None);
}

void TCuteButton::enterEvent(QEnterEvent* event) {
  if (!FMouseInside) MouseEnter(event->position().toPoint());
  QWidget::enterEvent(event);
}

void TCuteButton::leaveEvent(QEvent* event) {
  // After a release outside the button Qt sends the leave late; we reported it when the
  // pointer crossed the edge (invariant (4)).
  if (FMouseInside) MouseLeave(mapFromGlobal(QCursor::pos()));
  QWidget::leaveEvent(event);
}

void TCuteButton::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton) return;
  FMouseHeld = true;
  FMouseInside = true;
  SetBevelOuter(TBevel::Lowered);
  if (FDropDownMenu != nullptr) {
    FKeyboardDropDown = false;
    BeginDropDown();
  }
}

// A double click is two clicks: the second press of the pair arrives as a double-click event
// (and, depending on how the window system reports it, also as a plain press first).
void TCuteButton::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && FMouseHeld) return;
  mousePressEvent(event);
}

// While the left button is held Qt keeps the pointer grabbed by us and sends no enter or
// leave to anyone, yet the bevel must follow the pointer off and back on; so the crossings
// are found here.
void TCuteButton::mouseMoveEvent(QMouseEvent* event) {
  if (!FMouseHeld) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  const QPoint pos = event->position().toPoint();
  const bool inside = rect().contains(pos);
  if (inside && !FMouseInside) {
    MouseEnter(pos);
  } else if (!inside && FMouseInside) {
    MouseLeave(pos);
  }
}

void TCuteButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  const QPoint pos = event->position().toPoint();
  const bool clicked = FMouseHeld && rect().contains(pos);
  // Let go before clicking: a drop-down timer that fires while the click handler processes
  // events must see the button released.
  FMouseHeld = false;
  CancelDropDown();
  QPointer<TCuteButton> self(this);
  if (clicked) Click();
  if (self.isNull()) return;
  MouseUp(pos);
}

void TCuteButton::MouseUp(QPoint pos) {
  CancelDropDown();
  const bool focusedUp = FTabFocusUp && window()->focusWidget() == this;
  SetBevelOuter(rect().contains(pos) || focusedUp ? TBevel::Raised : TBevel::None);
  FMouseHeld = false;
}

// ---------------------------------------------------------------------------------------------
// Keyboard. Qt sends no key events to a disabled widget.

void TCuteButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
      // Auto-repeat presses land here too; a pending timer keeps BeginDropDown from starting
      // a second one.
      FSpaceHeld = true;
      SetBevelOuter(TBevel::Lowered);
      if (FDropDownMenu != nullptr) {
        FKeyboardDropDown = true;
        BeginDropDown();
      }
      event->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      EnterPressed();
      return;
    default:
      // Another key while the space bar is down abandons the press without a click.
      if (FSpaceHeld) {
        FSpaceHeld = false;
        SetBevelOuter(RestingFocusedBevel());
      }
      event->ignore();
  }
}

void TCuteButton::keyReleaseEvent(QKeyEvent* event) {
  // Some window systems report a held key as release/press pairs; only the real release ends
  // the press.
  if (event->isAutoRepeat()) {
    event->ignore();
    return;
  }
  CancelDropDown();
  if (event->key() == Qt::Key_Space && FSpaceHeld) {
    event->accept();
    SpaceReleased();
    return;
  }
  event->ignore();
}

void TCuteButton::SpaceReleased() {
  if (!FSpaceHeld) return;
  FSpaceHeld = false;
  QPointer<TCuteButton> self(this);
  Click();
  if (self.isNull()) return;
  SetBevelOuter(RestingFocusedBevel());
}

void TCuteButton::EnterPressed() {
  SetBevelOuter(TBevel::Lowered);
  QPointer<TCuteButton> self(this);
  // Only an explicit zero delay makes Enter open the menu; with a delay there is no hold to
  // time on a single key stroke, so Enter clicks.
  if (FDropDownMenu != nullptr && FDropDownDelay == 0) {
    ShowDropDownMenu();
  } else {
    Click();
  }
  if (self.isNull()) return;
  SetBevelOuter(RestingFocusedBevel());
}

void TCuteButton::focusInEvent(QFocusEvent* event) {
  // A popup menu borrows the focus and hands it back; that is no change of focus for the
  // button, which stays pressed under its own menu.
  if (event->reason() != Qt::PopupFocusReason && FTabFocusUp) SetBevelOuter(TBevel::Raised);
  QWidget::focusInEvent(event);
}

void TCuteButton::focusOutEvent(QFocusEvent* event) {
  if (event->reason() != Qt::PopupFocusReason) SetBevelOuter(TBevel::None);
  QWidget::focusOutEvent(event);
}

void TCuteButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Drop-down menu.

void TCuteButton::BeginDropDown() {
  if (FDropDownDelay <= 0) {
    ShowDropDownMenu();
    return;
  }
  if (FDropDownTimer != nullptr) return;  // invariant (1)
  FDropDownTimer = new TCuteButtonTimer(this);
  FDropDownTimer->setInterval(FDropDownDelay);
  connect(FDropDownTimer, &QTimer::timeout, this, &TCuteButton::DropDownTimerFired);
  FDropDownTimer->start();
}

void TCuteButton::CancelDropDown() {
  delete FDropDownTimer;
  FDropDownTimer = nullptr;
}

void TCuteButton::DropDownTimerFired() {
  // We run inside the timer's own signal, so it cannot be deleted here and now.
  if (FDropDownTimer != nullptr) FDropDownTimer->deleteLater();
  FDropDownTimer = nullptr;
  if (FKeyboardDropDown) {
    ShowDropDownMenu();
    return;
  }
  // A mouse hold opens the menu only if the button is still held down.
  if (!FMouseHeld) return;
  QPointer<TCuteButton> self(this);
  ShowDropDownMenu();
  if (self.isNull()) return;
  FMouseHeld = false;
}

void TCuteButton::ShowDropDownMenu() {
  if (FDropDownMenu == nullptr) return;
  const QPoint where = mapToGlobal(QPoint(0, height()));
  QPointer<TCuteButton> self(this);
  QPointer<QMenu> menu(FDropDownMenu);
  FMenuShown = true;
  // Let the pressed bevel reach the screen before the menu's own loop takes over.
  QCoreApplication::processEvents();
  if (self.isNull()) return;
  if (!menu.isNull()) menu->exec(where);
  if (self.isNull()) return;
  // The menu ate the release of whatever opened it; finish that press here.
  if (FKeyboardDropDown) {
    CancelDropDown();
    SpaceReleased();
    if (self.isNull()) return;
  } else {
    MouseUp(QPoint(0, 0));
  }
  FMenuShown = false;
}

// ---------------------------------------------------------------------------------------------
// Painting.

QRect TCuteButton::ClientRect() const {
  // A single border is a one-pixel frame outside the client area.
  return FBorderStyle == TBorderStyle::Single ? rect().adjusted(1, 1, -1, -1) : rect();
}

// Draws one bevel FBevelWidth pixels wide just inside rect and shrinks rect past it. The
// light side owns the top and left lines except their far ends; the dark side owns the
// bottom-left and top-right corners.
void TCuteButton::DrawBevel(QPainter& painter, QRect& rect, TBevel bevel) const {
  if (bevel == TBevel::None) return;
  const bool raised = bevel == TBevel::Raised;
  const QColor light = raised ? FBevelHighlightColor : FBevelShadowColor;
  const QColor dark = raised ? FBevelShadowColor : FBevelHighlightColor;
  for (int i = 0; i < FBevelWidth && rect.width() > 0 && rect.height() > 0; ++i) {
    painter.setPen(light);
    painter.drawLine(rect.left(), rect.bottom(), rect.left(), rect.top());
    painter.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
    painter.setPen(dark);
    painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    painter.drawLine(rect.right(), rect.bottom(), rect.left(), rect.bottom());
    rect.adjust(1, 1, -1, -1);
  }
}

void TCuteButton::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (FBorderStyle == TBorderStyle::Single) {
    painter.setPen(SystemColor(QPalette::Shadow));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }

  QRect face = ClientRect();
  const bool enabled = isEnabled();
  painter.fillRect(face, FUseDisabledColor && !enabled ? FDisabledColor : FColor);
  DrawBevel(painter, face, FOuterBevel);
  DrawBevel(painter, face, FInnerBevel);

  // The caption area ignores whether the outer bevel is drawn, so the caption does not jump
  // when the pointer passes over the button; it sinks only when pressed.
  const int inset = Flat() ? FBevelWidth : 2 * FBevelWidth;
  QRect caption = ClientRect().adjusted(inset, inset, -inset, -inset);
  int flags = Qt::TextSingleLine | Qt::TextShowMnemonic;
  switch (FAlignment) {
    case TAlignment::LeftJustify:
      flags |= Qt::AlignLeft;
      if (FMarginX != -1) caption.setLeft(caption.left() + FMarginX);
      break;
    case TAlignment::RightJustify:
      flags |= Qt::AlignRight;
      if (FMarginX != -1) caption.setRight(caption.right() - FMarginX);
      break;
    case TAlignment::Center:
      flags |= Qt::AlignHCenter;
      break;
  }
  switch (FLayout) {
    case TTextLayout::Top:
      flags |= Qt::AlignTop;
      if (FMarginY != -1) caption.setTop(caption.top() + FMarginY);
      break;
    case TTextLayout::Bottom:
      flags |= Qt::AlignBottom;
      if (FMarginY != -1) caption.setBottom(caption.bottom() - FMarginY);
      break;
    case TTextLayout::Center:
      flags |= Qt::AlignVCenter;
      break;
  }
  if (FOuterBevel == TBevel::Lowered) {
    caption.setLeft(caption.left() + 2);
    caption.setTop(caption.top() + 2);
  }

  painter.setFont(font());
  if (enabled) {
    painter.setPen(FFontColor);
    painter.drawText(caption, flags, FCaption);
  } else {
    // Engraved: a light copy one pixel down and right, the dark one in place.
    painter.setPen(SystemColor(QPalette::Light));
    painter.drawText(caption.translated(1, 1), flags, FCaption);
    painter.setPen(SystemColor(QPalette::Dark));
    painter.drawText(caption, flags, FCaption);
  }

  if (FShowFocusRect && hasFocus()) {
    painter.setPen(QPen(FFontColor, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(caption.adjusted(2, 2, -3, -3));
  }
}
