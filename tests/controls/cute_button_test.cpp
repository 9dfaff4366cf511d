// Tests of TCuteButton on the offscreen platform. Mouse input goes through the window-system
// path (QTEST_QPA_MOUSE_HANDLING), so Qt's own pointer grab, enter/leave delivery and
// double-click detection take part exactly as they do for a real mouse. Pictures are checked
// by grabbing the widget and reading pixels, with an unantialiased font so that caption pixels
// carry exactly the colour they were drawn in.
#define QTEST_QPA_MOUSE_HANDLING

#include "controls/cute_button.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

namespace {

// Test discovery runs this binary at build time, outside CTest's environment; without a
// display Qt would abort there. Runs before main() creates the QApplication.
const bool kHeadless = [] {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  return true;
}();

using TBevel = TCuteButton::TBevel;

const QColor kFace(181, 253, 197);
const QColor kInk(200, 0, 0);

class CuteButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_.resize(240, 160);
    other_ = new TCuteButton(&form_);
    other_->move(150, 30);
    button_ = new TCuteButton(&form_);
    button_->move(40, 30);
    button_->SetCaption("Start");
    button_->SetColor(kFace);
    button_->SetFontColor(kInk);
    QFont font("DejaVu Sans");
    font.setPixelSize(14);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    button_->setFont(font);
    button_->SetOnClick([this] { ++clicks_; });
    form_.show();
    form_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
    other_->setFocus();
    QTest::mouseMove(&form_, kAway);
  }

  QPoint Centre() const { return button_->rect().center(); }

  QImage Picture() const { return button_->grab().toImage(); }

  // Posts a whole click to the button, as the window system queues one the user makes while
  // the program is busy.
  void PostClick() {
    const QPoint at = Centre();
    const QPoint global = button_->mapToGlobal(at);
    QCoreApplication::postEvent(
        button_, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                 Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        button_, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                 Qt::NoButton, Qt::NoModifier));
  }

  // Leftmost and rightmost columns holding a pixel of colour, or -1.
  static std::pair<int, int> ColumnsOf(const QImage& image, const QColor& colour) {
    int left = -1;
    int right = -1;
    for (int x = 0; x < image.width(); ++x) {
      for (int y = 0; y < image.height(); ++y) {
        if (image.pixelColor(x, y) != colour) continue;
        if (left < 0) left = x;
        right = x;
      }
    }
    return {left, right};
  }

  static constexpr QPoint kAway{5, 5};  // a point of the form outside both buttons
  QWidget form_;
  TCuteButton* button_ = nullptr;
  TCuteButton* other_ = nullptr;  // holds the focus, so the button starts unfocused
  int clicks_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Mouse

TEST_F(CuteButtonTest, HoverRaisesAndLeaveDropsUnlessFocusedWithTabFocusUp) {
  std::vector<TBevel> bevelWhenEntering;
  QPoint reported;
  button_->OnMouseEnter = [&](TCuteButton* sender, Qt::KeyboardModifiers, Qt::MouseButtons,
                              QPoint pos) {
    EXPECT_EQ(sender, button_);
    bevelWhenEntering.push_back(sender->BevelOuter());
    reported = pos;
  };
  int leaves = 0;
  button_->OnMouseLeave = [&](TCuteButton*, Qt::KeyboardModifiers, Qt::MouseButtons, QPoint) {
    ++leaves;
  };

  QTest::mouseMove(button_, QPoint(7, 9));
  EXPECT_EQ(button_->BevelOuter(), TBevel::Raised);
  ASSERT_EQ(bevelWhenEntering.size(), 1u);
  EXPECT_EQ(bevelWhenEntering[0], TBevel::None) << "the handler runs before the bevel changes";
  EXPECT_EQ(reported, QPoint(7, 9)) << "position is in the button's own coordinates";
  QTest::mouseMove(&form_, kAway);
  EXPECT_EQ(leaves, 1);
  EXPECT_EQ(button_->BevelOuter(), TBevel::None);

  button_->setFocus();
  EXPECT_EQ(button_->BevelOuter(), TBevel::Raised);
  QTest::mouseMove(button_, Centre());
  QTest::mouseMove(&form_, kAway);
  EXPECT_EQ(button_->BevelOuter(), TBevel::Raised) << "focused with TabFocusUp stays up";

  button_->SetTabFocusUp(false);
  QTest::mouseMove(button_, Centre());
  QTest::mouseMove(&form_, kAway);
  EXPECT_EQ(button_->BevelOuter(), TBevel::None);
  other_->setFocus();
  EXPECT_EQ(button_->BevelOuter(), TBevel::None);
}

TEST_F(CuteButtonTest, DoubleClickGivesTwoClicks) {
  QTest::mouseDClick(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  EXPECT_EQ(clicks_, 2);
}

TEST_F(CuteButtonTest, PressMoveOffAndBackShowsPressedAgain) {
  QTest::mouseMove(button_, Centre());
  QTest::mousePress(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  EXPECT_TRUE(button_->hasFocus()) << "a press takes the focus";
  EXPECT_EQ(button_->BevelOuter(), TBevel::Lowered);

  QTest::mouseMove(button_, QPoint(-20, 10));
  EXPECT_EQ(button_->BevelOuter(), TBevel::Raised) << "off the button, focused, TabFocusUp";
  QTest::mouseMove(button_, Centre());
  EXPECT_EQ(button_->BevelOuter(), TBevel::Lowered);

  QTest::mouseRelease(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(button_->BevelOuter(), TBevel::Raised);
}

TEST_F(CuteButtonTest, ReleaseOutsideGivesNoClickAndStaysUpOnlyWithTabFocusUp) {
  for (bool up : {true, false}) {
    SCOPED_TRACE(up ? "TabFocusUp" : "no TabFocusUp");
    button_->SetTabFocusUp(up);
    QTest::mouseMove(button_, Centre());
    QTest::mousePress(button_, Qt::LeftButton, Qt::NoModifier, Centre());
    QTest::mouseMove(button_, QPoint(-20, 10));
    QTest::mouseRelease(button_, Qt::LeftButton, Qt::NoModifier, QPoint(-20, 10));
    EXPECT_EQ(clicks_, 0);
    EXPECT_EQ(button_->BevelOuter(), up ? TBevel::Raised : TBevel::None);
    QTest::mouseMove(&form_, kAway);
  }
}

// ---------------------------------------------------------------------------------------------
// EgnoreContClick

TEST_F(CuteButtonTest, EgnoreContClickDropsOnlyClicksQueuedWhileTheHandlerRuns) {
  for (bool ignore : {false, true}) {
    SCOPED_TRACE(ignore ? "EgnoreContClick" : "plain");
    int calls = 0;
    button_->SetEgnoreContClick(ignore);
    button_->SetOnClick([&] {
      if (++calls == 1) PostClick();  // the user clicks again while we are busy
    });
    QTest::mouseClick(button_, Qt::LeftButton, Qt::NoModifier, Centre());
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, ignore ? 1 : 2);
    ASSERT_TRUE(button_->OnClick()) << "the handler is put back";

    QTest::mouseClick(button_, Qt::LeftButton, Qt::NoModifier, Centre());
    EXPECT_EQ(calls, ignore ? 2 : 3) << "a click after the handler finished counts";
  }
}

// ---------------------------------------------------------------------------------------------
// Keyboard

TEST_F(CuteButtonTest, SpaceLowersOnPressAndClicksOnRelease) {
  for (bool up : {true, false}) {
    SCOPED_TRACE(up ? "TabFocusUp" : "no TabFocusUp");
    clicks_ = 0;
    button_->SetTabFocusUp(up);
    button_->setFocus();
    QTest::keyPress(button_, Qt::Key_Space);
    EXPECT_EQ(button_->BevelOuter(), TBevel::Lowered);
    EXPECT_EQ(clicks_, 0);
    QTest::keyRelease(button_, Qt::Key_Space);
    EXPECT_EQ(clicks_, 1);
    EXPECT_EQ(button_->BevelOuter(), up ? TBevel::Raised : TBevel::None);
  }
}

TEST_F(CuteButtonTest, EnterClicksOnce) {
  button_->setFocus();
  QTest::keyClick(button_, Qt::Key_Return);
  QTest::keyClick(button_, Qt::Key_Enter);
  EXPECT_EQ(clicks_, 2);
  EXPECT_EQ(button_->BevelOuter(), TBevel::Raised);
}

TEST_F(CuteButtonTest, OtherKeyWhileSpaceHeldAbandonsThePress) {
  button_->setFocus();
  QTest::keyPress(button_, Qt::Key_Space);
  QTest::keyPress(button_, Qt::Key_A);
  EXPECT_EQ(button_->BevelOuter(), TBevel::Raised);
  QTest::keyRelease(button_, Qt::Key_A);
  QTest::keyRelease(button_, Qt::Key_Space);
  EXPECT_EQ(clicks_, 0);
}

TEST_F(CuteButtonTest, AcceleratorClicksOnlyWhileEnabled) {
  button_->SetCaption("&Start");
  QTest::keyClick(&form_, Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ(clicks_, 1);
  EXPECT_FALSE(button_->hasFocus()) << "the accelerator does not move the focus";

  button_->setEnabled(false);
  QTest::keyClick(&form_, Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ(clicks_, 1);

  button_->setEnabled(true);
  button_->SetCaption("Start");
  QTest::keyClick(&form_, Qt::Key_S, Qt::AltModifier);
  EXPECT_EQ(clicks_, 1) << "a caption without '&' has no accelerator";
}

// ---------------------------------------------------------------------------------------------
// Painting

TEST_F(CuteButtonTest, DisabledFaceKeepsColourUnlessUseDisabledColor) {
  const QPoint face(4, 12);  // left of the caption, inside both bevels
  button_->setEnabled(false);
  EXPECT_EQ(Picture().pixelColor(face), kFace);

  button_->SetUseDisabledColor(true);
  EXPECT_EQ(Picture().pixelColor(face), QColor(128, 128, 128));
  button_->SetDisabledColor(QColor(10, 20, 30));
  EXPECT_EQ(Picture().pixelColor(face), QColor(10, 20, 30));

  button_->setEnabled(true);
  EXPECT_EQ(Picture().pixelColor(face), kFace);
}

TEST_F(CuteButtonTest, DisabledCaptionIsEngraved) {
  // Compared as 8-bit RGB: palette colours carry 16-bit components a pixel cannot hold.
  const QRgb light = button_->palette().color(QPalette::Active, QPalette::Light).rgb();
  const QRgb dark = button_->palette().color(QPalette::Active, QPalette::Dark).rgb();
  ASSERT_NE(light, dark);
  const QRect inside = button_->rect().adjusted(3, 3, -3, -3);  // clear of the bevels

  EXPECT_GE(ColumnsOf(Picture(), kInk).first, 0) << "enabled: drawn in the font colour";

  button_->setEnabled(false);
  const QImage image = Picture();
  EXPECT_LT(ColumnsOf(image, kInk).first, 0);
  // The light copy lies one pixel down and right of the dark one, which covers the rest of
  // it: so the light pixels reach exactly one further right and one further down.
  QRect darkBox;
  QRect lightBox;
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (pixel == dark) darkBox |= QRect(x, y, 1, 1);
      if (pixel == light) lightBox |= QRect(x, y, 1, 1);
    }
  }
  ASSERT_FALSE(darkBox.isEmpty());
  ASSERT_FALSE(lightBox.isEmpty());
  EXPECT_EQ(lightBox.right(), darkBox.right() + 1);
  EXPECT_EQ(lightBox.bottom(), darkBox.bottom() + 1);
}

TEST_F(CuteButtonTest, BevelsShowReliefAndPress) {
  const QColor hi(250, 250, 0);
  const QColor lo(0, 0, 200);
  button_->SetBevelHighlightColor(hi);
  button_->SetBevelShadowColor(lo);
  button_->SetBevelWidth(2);
  const int mid = 12;
  const int right = button_->width() - 1;

  QImage image = Picture();  // at rest: the inner raised relief only
  EXPECT_EQ(image.pixelColor(0, mid), hi);
  EXPECT_EQ(image.pixelColor(1, mid), hi);
  EXPECT_EQ(image.pixelColor(2, mid), kFace);
  EXPECT_EQ(image.pixelColor(right, mid), lo);
  EXPECT_EQ(image.pixelColor(37, 0), hi);
  EXPECT_EQ(image.pixelColor(37, button_->height() - 1), lo);

  QTest::mouseMove(button_, Centre());
  QTest::mousePress(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  image = Picture();  // pressed: a lowered outer bevel, then the raised relief inside it
  EXPECT_EQ(image.pixelColor(0, mid), lo);
  EXPECT_EQ(image.pixelColor(right, mid), hi);
  EXPECT_EQ(image.pixelColor(2, mid), hi);
  EXPECT_EQ(image.pixelColor(right - 2, mid), lo);
  QTest::mouseRelease(button_, Qt::LeftButton, Qt::NoModifier, Centre());

  button_->SetFlat(true);
  other_->setFocus();
  QTest::mouseMove(&form_, kAway);
  EXPECT_EQ(button_->BevelInner(), TBevel::None);
  EXPECT_EQ(Picture().pixelColor(0, mid), kFace);
}

TEST_F(CuteButtonTest, MarginsClampAtMinusOneAndMoveASideAlignedCaption) {
  button_->SetMarginX(-5);
  button_->SetMarginY(-7);
  EXPECT_EQ(button_->MarginX(), -1);
  EXPECT_EQ(button_->MarginY(), -1);

  button_->SetCaption("I");
  button_->SetAlignment(TCuteButton::TAlignment::LeftJustify);
  const int flush = ColumnsOf(Picture(), kInk).first;
  button_->SetMarginX(10);
  EXPECT_EQ(ColumnsOf(Picture(), kInk).first, flush + 10);

  QTest::mouseMove(button_, Centre());
  QTest::mousePress(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  EXPECT_EQ(ColumnsOf(Picture(), kInk).first, flush + 12) << "the caption sinks when pressed";
  QTest::mouseRelease(button_, Qt::LeftButton, Qt::NoModifier, Centre());

  button_->SetAlignment(TCuteButton::TAlignment::RightJustify);
  button_->SetMarginX(-1);
  const int flushRight = ColumnsOf(Picture(), kInk).second;
  button_->SetMarginX(10);
  EXPECT_EQ(ColumnsOf(Picture(), kInk).second, flushRight - 10);
}

// ---------------------------------------------------------------------------------------------
// Drop-down menu

class CuteButtonMenuTest : public CuteButtonTest {
 protected:
  void SetUp() override {
    CuteButtonTest::SetUp();
    menu_.addAction("Item");
    // Whenever the menu opens, note where, and close it from its own event loop.
    QObject::connect(&menu_, &QMenu::aboutToShow, [this] {
      ++shown_;
      QTimer::singleShot(0, &menu_, [this] {
        shownAt_ = menu_.pos();
        menu_.close();
      });
    });
    button_->SetDropDownMenu(&menu_);
  }

  QPoint BelowButton() const { return button_->mapToGlobal(QPoint(0, button_->height())); }

  QMenu menu_;
  int shown_ = 0;
  QPoint shownAt_;
};

TEST_F(CuteButtonMenuTest, WithDelayAShortClickIsAClickAndAHoldOpensTheMenu) {
  button_->SetDropDownDelay(500);
  QTest::mouseMove(button_, Centre());
  QTest::mouseClick(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  QTest::qWait(700);
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(shown_, 0) << "the release cancels the pending drop-down";

  QTest::mousePress(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  QTest::qWait(800);
  EXPECT_EQ(shown_, 1);
  EXPECT_EQ(shownAt_, BelowButton());
  QTest::mouseRelease(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  EXPECT_EQ(clicks_, 1) << "a press that opened the menu does not click";
  EXPECT_EQ(button_->BevelOuter(), TBevel::Raised);
}

TEST_F(CuteButtonMenuTest, WithoutDelayAPressOpensTheMenuAtOnce) {
  QTest::mouseMove(button_, Centre());
  QTest::mousePress(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  EXPECT_EQ(shown_, 1);
  QTest::mouseRelease(button_, Qt::LeftButton, Qt::NoModifier, Centre());
  EXPECT_EQ(clicks_, 0);
}

TEST_F(CuteButtonMenuTest, KeyboardOpensTheMenuWithoutClicking) {
  button_->setFocus();
  QTest::keyPress(button_, Qt::Key_Space);
  QTest::keyRelease(button_, Qt::Key_Space);
  QTest::keyClick(button_, Qt::Key_Return);
  EXPECT_EQ(shown_, 2);
  EXPECT_EQ(clicks_, 0);
  EXPECT_EQ(button_->BevelOuter(), TBevel::Raised);

  button_->SetDropDownDelay(500);
  QTest::keyClick(button_, Qt::Key_Return);
  QTest::keyClick(button_, Qt::Key_Space);
  QTest::qWait(700);
  EXPECT_EQ(clicks_, 2) << "with a delay, Enter and a short Space press click";
  EXPECT_EQ(shown_, 2);

  QTest::keyPress(button_, Qt::Key_Space);
  QTest::qWait(800);
  EXPECT_EQ(shown_, 3);
  QTest::keyRelease(button_, Qt::Key_Space);
  EXPECT_EQ(clicks_, 2) << "holding Space opens the menu instead of clicking";
}

}  // namespace
