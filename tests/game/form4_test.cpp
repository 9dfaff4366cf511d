// The main window on the offscreen platform: its fixed layout, start-up state, the clock, the
// hand-made stone drag with real mouse events, and a failed picture load.
#include "game/window/form4.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include "controls/cute_button.h"
#include "game/window/board_controls.h"

namespace pebrio {
namespace {

struct Recorded {
  std::vector<int> cues;
  QStringList messages;
};

std::unique_ptr<TForm4> MakeForm(Recorded& rec, const QString& exeFolder = {}) {
  TForm4Hooks hooks;
  hooks.cue = [&rec](int cue) { rec.cues.push_back(cue); };
  hooks.message = [&rec](const QString& text) { rec.messages << text; };
  hooks.exeFolder = exeFolder;
  return std::make_unique<TForm4>(std::move(hooks));
}

QRect GeometryOf(const TForm4& form, const QString& name) {
  QWidget* w = form.Control(name);
  return w ? w->geometry() : QRect();
}

TEST(Form4, LayoutMatchesTheFixedGeometry) {
  Recorded rec;
  auto form = MakeForm(rec);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("ペブリオ"));
  EXPECT_FALSE(form->windowIcon().isNull());
  EXPECT_EQ(GeometryOf(*form, "Panel1"), QRect(40, 51, 374, 374));
  EXPECT_EQ(GeometryOf(*form, "Shape1"), QRect(8, 8, 351, 351));
  EXPECT_EQ(GeometryOf(*form, "Shape2"), QRect(8, 47, 351, 1));
  EXPECT_EQ(GeometryOf(*form, "Shape9"), QRect(8, 320, 351, 1));
  EXPECT_EQ(GeometryOf(*form, "Shape10"), QRect(47, 8, 1, 351));
  EXPECT_EQ(GeometryOf(*form, "Shape17"), QRect(320, 8, 1, 351));
  EXPECT_EQ(GeometryOf(*form, "Panel2"), QRect(448, 256, 41, 40));
  EXPECT_EQ(GeometryOf(*form, "Panel6"), QRect(604, 256, 41, 40));
  EXPECT_EQ(GeometryOf(*form, "Panel7"), QRect(448, 295, 41, 40));
  EXPECT_EQ(GeometryOf(*form, "Panel12"), QRect(448, 344, 41, 40));
  EXPECT_EQ(GeometryOf(*form, "Panel21"), QRect(604, 383, 41, 40));
  EXPECT_EQ(GeometryOf(*form, "CuteButton1").topLeft(), QPoint(568, 64));
  EXPECT_EQ(GeometryOf(*form, "CuteButton2").topLeft(), QPoint(568, 120));
  EXPECT_EQ(GeometryOf(*form, "CuteButton4").topLeft(), QPoint(568, 176));
  EXPECT_EQ(GeometryOf(*form, "CuteButton1").width(), 80);
  EXPECT_EQ(GeometryOf(*form, "ComboBox3").topLeft(), QPoint(448, 70));
  EXPECT_EQ(GeometryOf(*form, "ComboBox1").topLeft(), QPoint(448, 126));
  EXPECT_EQ(GeometryOf(*form, "ComboBox2").topLeft(), QPoint(448, 182));
  EXPECT_EQ(GeometryOf(*form, "Label4").topLeft(), QPoint(138, 446));
  for (int n = 1; n <= kStones; ++n) {
    const TImage* image = form->StoneImage(n);
    EXPECT_EQ(image->parentWidget()->objectName(), QStringLiteral("Panel1"));
    EXPECT_EQ(image->geometry(),
              QRect(HomePixelOf(n).left, HomePixelOf(n).top, kStoneSize, kStoneSize));
  }
  // The item texts keep their blanks exactly.
  QStringList target;
  for (int i = 0; i < form->ComboBox(1)->count(); ++i) target << form->ComboBox(1)->itemText(i);
  EXPECT_EQ(target, (QStringList{" ５個", " ６個", " ７個", " ８個", " ９個 ", " １０個"}));
  EXPECT_EQ(form->ComboBox(2)->itemText(1), QStringLiteral(" ６個 "));
  EXPECT_EQ(form->ComboBox(3)->itemText(1), QStringLiteral(" 白先"));
}

TEST(Form4, StartUpStateAndClock) {
  Recorded rec;
  auto form = MakeForm(rec);
  EXPECT_EQ(rec.cues, std::vector<int>{5});
  EXPECT_TRUE(rec.messages.isEmpty());
  EXPECT_EQ(form->ComboBox(3)->currentText(), QStringLiteral(" 黒先"));
  EXPECT_EQ(form->ComboBox(1)->currentText(), QStringLiteral(" １０個"));
  EXPECT_EQ(form->ComboBox(2)->currentText(), QStringLiteral(" ９個"));
  EXPECT_TRUE(form->Button(1)->isEnabled());
  EXPECT_FALSE(form->Button(2)->isEnabled());
  EXPECT_EQ(form->TurnLine(), QString());
  EXPECT_EQ(form->StatusText(0),
            QStringLiteral(" 条件設定がよければ、「スタート」ボタンで始めてください。"));
  EXPECT_EQ(form->StatusText(1), QString());
  form->Timer1Timer();
  EXPECT_TRUE(QRegularExpression("^\\d\\d/\\d\\d  \\d\\d:\\d\\d (AM|PM)$")
                  .match(form->StatusText(1))
                  .hasMatch())
      << form->StatusText(1).toStdString();
}

TEST(Form4, TypingInASettingBoxSelectsNoItem) {
  Recorded rec;
  auto form = MakeForm(rec);
  form->ComboBox(1)->setEditText(QStringLiteral("12"));
  EXPECT_EQ(form->Game().TargetCount, 4);
  form->ComboBox(1)->setCurrentIndex(2);
  EXPECT_EQ(form->Game().TargetCount, 7);
  EXPECT_EQ(rec.cues.back(), 2);
}

// Presses stone n, moves and releases over Shape1 at pos, as the mouse would: the press grabs
// the mouse, so every later event goes to the stone's picture.
void MouseDrag(TForm4& form, int stone, QWidget* over, QPoint pos) {
  TImage* image = form.StoneImage(stone);
  QTest::mousePress(image, Qt::LeftButton, {}, QPoint(14, 14));
  const QPoint inImage = image->mapFromGlobal(over->mapToGlobal(pos));
  QMouseEvent move(QEvent::MouseMove, inImage, image->mapToGlobal(inImage), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(image, &move);
  QTest::mouseRelease(image, Qt::LeftButton, {}, inImage);
}

TEST(Form4, MouseDragMovesAStoneAndTheImageFollows) {
  Recorded rec;
  auto form = MakeForm(rec);
  form->show();
  form->Button(1)->Click();
  QWidget* shape = form->Control("Shape1");
  QWidget* overlay = form->findChild<QLabel*>("DragImage");
  ASSERT_NE(overlay, nullptr);

  TImage* image = form->StoneImage(2);
  QTest::mousePress(image, Qt::LeftButton, {}, QPoint(14, 14));
  EXPECT_TRUE(form->Dragging());
  EXPECT_TRUE(overlay->isVisible());
  EXPECT_EQ(form->DragImageIndex(), 0);
  ASSERT_FALSE(static_cast<QLabel*>(overlay)->pixmap().isNull());
  EXPECT_EQ(static_cast<QLabel*>(overlay)->pixmap().size(), QSize(28, 28));
  // The hot spot is the image's centre.
  EXPECT_EQ(overlay->pos() + QPoint(14, 14),
            form->mapFromGlobal(image->mapToGlobal(QPoint(14, 14))));
  QTest::mouseRelease(image, Qt::LeftButton, {},
                      image->mapFromGlobal(shape->mapToGlobal(QPoint(39 + 19, 39 * 2 + 19))));
  EXPECT_FALSE(overlay->isVisible());
  EXPECT_EQ(form->Game().StonePoint[2], 12);
  EXPECT_EQ(image->geometry().topLeft(), QPoint(53, 92));
  EXPECT_EQ(image->PictureName(), QStringLiteral("stBG"));
  EXPECT_EQ(form->TurnLine(), QStringLiteral("次は白番です。"));

  // Out of turn: cue and box, and no drag.
  rec.messages.clear();
  MouseDrag(*form, 3, shape, QPoint(39 + 19, 39 * 3 + 19));
  EXPECT_EQ(rec.messages, QStringList{"白番です。"});
  EXPECT_EQ(form->Game().StonePoint[3], 4);
  EXPECT_FALSE(overlay->isVisible());

  // A release over another stone does nothing.
  rec.messages.clear();
  MouseDrag(*form, 15, form->StoneImage(16), QPoint(14, 14));
  EXPECT_TRUE(rec.messages.isEmpty());
  EXPECT_EQ(form->Game().StonePoint[15], 10);
  EXPECT_EQ(form->Game().Turn, 2);
  EXPECT_FALSE(form->Dragging());

  // A release in the frame's bottom margin is refused, and the stone returns to its point.
  MouseDrag(*form, 15, form->Control("Panel1"), QPoint(58, 365));
  EXPECT_EQ(rec.messages, QStringList{"そこには移動できません。"});
  EXPECT_EQ(form->StoneImage(15)->geometry().topLeft(), QPoint(53, 14));
  EXPECT_EQ(form->DragImageIndex(), 1);
}

TEST(Form4, AMissingPictureIsReportedAndTheHandlerFinishes) {
  Recorded rec;
  auto form = MakeForm(rec, QStringLiteral("/nonexistent-folder/"));
  form->Button(1)->Click();
  // Every picture failed and was reported, yet Start ran to its end.
  EXPECT_EQ(rec.messages.size(), kStones);
  EXPECT_TRUE(rec.messages[0].contains("/nonexistent-folder/aicon/stB.ico"));
  EXPECT_EQ(rec.cues.back(), 1);
  EXPECT_FALSE(form->Button(1)->isEnabled());
  EXPECT_EQ(form->StatusText(0), QStringLiteral(" 石の移動を進めてください。"));
  EXPECT_EQ(form->Game().StonePoint[1], 2);
  EXPECT_EQ(form->StoneImage(1)->PictureName(), QString());
  // A move still goes through, with its picture reported missing.
  rec.messages.clear();
  ASSERT_TRUE(form->Image1StartDrag(2));
  form->DragDropOn(form->Control("Shape1"), QPoint(39 + 19, 39 * 2 + 19));
  EXPECT_EQ(form->Game().StonePoint[2], 12);
  EXPECT_EQ(form->Game().Turn, 2);
  EXPECT_EQ(form->TurnLine(), QStringLiteral("次は白番です。"));
  EXPECT_EQ(rec.messages.size(), 1);
}

}  // namespace
}  // namespace pebrio
