// The main window's layout, menu, status bar, clock and its TGameView side.
#include "game/window/form4.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include "controls/cute_button.h"
#include "game/window/board_controls.h"
#include "platform/ui/help_viewer.h"
#include "platform/ui/sound_player.h"

// The window's resources live in this static library; the linker keeps them only when they
// are registered by name.
static void InitWindowResources() {
  Q_INIT_RESOURCE(form4);
}

namespace pebrio {

namespace {

const QColor kFormColour(240, 240, 255);
const QColor kFrameColour(237, 206, 154);
const QColor kSurfaceColour(241, 218, 177);
const QColor kStatusColour(225, 225, 255);
const QColor kNavy(0, 0, 128);
const QString kGothic = QStringLiteral("ＭＳ Ｐゴシック");
const QString kRounded = QStringLiteral("HG丸ｺﾞｼｯｸM-PRO");

// The client area below the menu bar: the outer size of 718 x 560 less the frame, the caption
// and the menu bar.
constexpr int kClientWidth = 710;
constexpr int kClientHeight = 487;
constexpr int kMenuHeight = 20;
constexpr int kStatusHeight = 22;

const char* const kCueFiles[10] = {nullptr,      "pipo.wav",       "poon.wav", "bubuu.wav",
                                   "pinpon.wav", "charararan.wav", "bun.wav",  "chararan.wav",
                                   "po.wav",     "popo.wav"};

QFont PixelFont(const QString& family, int pixels, bool bold) {
  QFont f(family);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

QString PictureFile(TPicture picture) {
  switch (picture) {
    case TPicture::Black:
      return QStringLiteral("stB");
    case TPicture::White:
      return QStringLiteral("stW");
    case TPicture::BlackLastMove:
      return QStringLiteral("stBG");
    case TPicture::WhiteLastMove:
      return QStringLiteral("stWG");
    case TPicture::BlackCaptured:
      return QStringLiteral("stBR");
    case TPicture::WhiteCaptured:
      return QStringLiteral("stWR");
    case TPicture::None:
      break;
  }
  return {};
}

QLabel* MakeLabel(QWidget* parent, const QString& name, int left, int top, const QString& text,
                  const QFont& font) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(font);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, kNavy);
  label->setPalette(pal);
  label->move(left, top);
  label->adjustSize();
  return label;
}

}  // namespace

TForm4::TForm4(TForm4Hooks hooks, QWidget* parent)
    : QMainWindow(parent), hooks_(std::move(hooks)), game_(*this) {
  InitWindowResources();
  setObjectName(QStringLiteral("Form4"));
  setWindowTitle(QStringLiteral("ペブリオ"));
  setWindowIcon(QIcon(QStringLiteral(":/pebrio/pebrio.png")));
  setFont(PixelFont(kGothic, 12, false));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kFormColour);
  setPalette(pal);
  if (!hooks_.cue) sound_ = std::make_unique<ui::TSoundPlayer>();
  imageList1_[0].load(QStringLiteral(":/pebrio/drag/black.png"));
  imageList1_[1].load(QStringLiteral(":/pebrio/drag/white.png"));

  BuildLayout();
  BuildMenu();
  BuildStatusBar();
  setFixedSize(kClientWidth, kMenuHeight + kClientHeight + kStatusHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(1000);
  connect(timer1_, &QTimer::timeout, this, [this] { Timer1Timer(); });
  timer1_->start();

  FormCreate();
}

TForm4::~TForm4() = default;

void TForm4::BuildLayout() {
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("Client"));
  client_->setFixedSize(kClientWidth, kClientHeight);
  client_->setAutoFillBackground(true);
  setCentralWidget(client_);

  panel1_ = new TPanel(client_, QStringLiteral("Panel1"), kFrameColour, TPanel::TBorder::Single);
  panel1_->setGeometry(40, 51, 374, 374);
  auto* shape1 = new TShape(panel1_, QStringLiteral("Shape1"), kSurfaceColour);
  shape1->setGeometry(kShapeLeft, kShapeTop, 351, 351);
  for (int i = 0; i < 8; ++i) {
    auto* h = new TShape(panel1_, QStringLiteral("Shape%1").arg(2 + i), Qt::black);
    h->setGeometry(8, 47 + 39 * i, 351, 1);
    auto* v = new TShape(panel1_, QStringLiteral("Shape%1").arg(10 + i), Qt::black);
    v->setGeometry(47 + 39 * i, 8, 1, 351);
  }
  for (int n = 1; n <= kStones; ++n) {
    auto* image = new TImage(panel1_, QStringLiteral("Image%1").arg(n), n);
    const TPixel home = HomePixelOf(n);
    image->setGeometry(home.left, home.top, kStoneSize, kStoneSize);
    image->installEventFilter(this);
    stoneImage_[n] = image;
  }
  for (int i = 1; i <= kTrayBoxes; ++i) {
    const int column = (i - 1) % 5;
    const int row = (i - 1) / 5;
    blackTray_[i] = new TPanel(client_, QStringLiteral("Panel%1").arg(i + 1), kFrameColour,
                               TPanel::TBorder::Raised);
    blackTray_[i]->setGeometry(448 + 39 * column, 256 + 39 * row, 41, 40);
    whiteTray_[i] = new TPanel(client_, QStringLiteral("Panel%1").arg(i + 11), kFrameColour,
                               TPanel::TBorder::Raised);
    whiteTray_[i]->setGeometry(448 + 39 * column, 344 + 39 * row, 41, 40);
  }

  const QFont labelFont = PixelFont(kGothic, 15, false);
  MakeLabel(client_, QStringLiteral("Label8"), 448, 54, QStringLiteral("先番"), labelFont);
  MakeLabel(client_, QStringLiteral("Label5"), 448, 110, QStringLiteral("目標の石数"), labelFont);
  MakeLabel(client_, QStringLiteral("Label6"), 448, 166, QStringLiteral("最大石数差"), labelFont);
  MakeLabel(client_, QStringLiteral("Label7"), 496, 238, QStringLiteral("取り石置き場"), labelFont);
  label4_ = MakeLabel(client_, QStringLiteral("Label4"), 138, 446, QString(),
                      PixelFont(kRounded, 15, true));
  label4_->setFixedWidth(400);

  comboBox3_ = MakeComboBox(QStringLiteral("ComboBox3"), 448, 70,
                            {QStringLiteral(" 黒先"), QStringLiteral(" 白先")});
  comboBox1_ =
      MakeComboBox(QStringLiteral("ComboBox1"), 448, 126,
                   {QStringLiteral(" ５個"), QStringLiteral(" ６個"), QStringLiteral(" ７個"),
                    QStringLiteral(" ８個"), QStringLiteral(" ９個 "), QStringLiteral(" １０個")});
  comboBox2_ =
      MakeComboBox(QStringLiteral("ComboBox2"), 448, 182,
                   {QStringLiteral(" ５個"), QStringLiteral(" ６個 "), QStringLiteral(" ７個"),
                    QStringLiteral(" ８個"), QStringLiteral(" ９個")});
  connect(comboBox3_, &QComboBox::currentTextChanged, this, [this] { ComboBox3Change(); });
  connect(comboBox1_, &QComboBox::currentTextChanged, this, [this] { ComboBox1Change(); });
  connect(comboBox2_, &QComboBox::currentTextChanged, this, [this] { ComboBox2Change(); });

  cuteButton1_ = MakeButton(QStringLiteral("CuteButton1"), 568, 64, QStringLiteral("スタート"),
                            QColor(181, 253, 197));
  cuteButton2_ = MakeButton(QStringLiteral("CuteButton2"), 568, 120, QStringLiteral("石取り"),
                            QColor(252, 188, 150));
  cuteButton4_ = MakeButton(QStringLiteral("CuteButton4"), 568, 176, QStringLiteral("キャンセル"),
                            QColor(198, 227, 251));
  cuteButton1_->SetOnClick([this] { CuteButton1Click(); });
  cuteButton2_->SetOnClick([this] { CuteButton2Click(); });
  cuteButton4_->SetOnClick([this] { CuteButton4Click(); });

  dragOverlay_ = new QLabel(this);
  dragOverlay_->setObjectName(QStringLiteral("DragImage"));
  dragOverlay_->setAttribute(Qt::WA_TransparentForMouseEvents);
  dragOverlay_->setAttribute(Qt::WA_TranslucentBackground);
  dragOverlay_->resize(kStoneSize, kStoneSize);
  dragOverlay_->hide();
}

QComboBox* TForm4::MakeComboBox(const QString& name, int left, int top, const QStringList& items) {
  auto* box = new QComboBox(client_);
  box->setObjectName(name);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->addItems(items);
  box->setFont(PixelFont(kGothic, 13, true));
  QPalette pal = box->palette();
  pal.setColor(QPalette::Text, kNavy);
  pal.setColor(QPalette::ButtonText, kNavy);
  box->setPalette(pal);
  box->setGeometry(left, top, 80, 22);
  return box;
}

TCuteButton* TForm4::MakeButton(const QString& name, int left, int top, const QString& caption,
                                QColor color) {
  auto* button = new TCuteButton(client_);
  button->setObjectName(name);
  button->move(left, top);
  button->resize(80, button->height());
  button->SetCaption(caption);
  button->SetColor(color);
  button->setFont(PixelFont(kRounded, 13, true));
  button->SetFontColor(kNavy);
  button->SetFlat(false);
  button->SetShowFocusRect(false);
  button->SetUseDisabledColor(false);
  return button;
}

void TForm4::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  bar->setFixedHeight(kMenuHeight);
  QMenu* help = bar->addMenu(QStringLiteral("ヘルプ"));
  QAction* n1 = help->addAction(QStringLiteral("遊び方"));
  n1->setObjectName(QStringLiteral("N1"));
  connect(n1, &QAction::triggered, this, [this] { N1Click(); });
  QAction* about = help->addAction(QStringLiteral("バージョン情報"));
  about->setObjectName(QStringLiteral("About1"));
  connect(about, &QAction::triggered, this, [this] { About1Click(); });
  QAction* exit = bar->addAction(QStringLiteral("終了"));
  exit->setObjectName(QStringLiteral("Exit1"));
  connect(exit, &QAction::triggered, this, [this] { Exit1Click(); });
}

void TForm4::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar1"));
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kStatusHeight);
  bar->setStyleSheet(
      QStringLiteral("QStatusBar { background: rgb(225,225,255); }"
                     "QStatusBar::item { border: 1px solid rgb(160,160,200); }"
                     "QLabel { color: navy; }"));
  const QFont font = PixelFont(kGothic, 12, true);
  status0_ = new QLabel(bar);
  status0_->setObjectName(QStringLiteral("StatusPanel0"));
  status0_->setFont(font);
  status0_->setFixedWidth(570);
  status1_ = new QLabel(bar);
  status1_->setObjectName(QStringLiteral("StatusPanel1"));
  status1_->setFont(font);
  status1_->setAlignment(Qt::AlignCenter);
  status1_->setMinimumWidth(100);
  bar->addWidget(status0_);
  bar->addWidget(status1_, 1);
}

void TForm4::FormCreate() {
  exeFolder_ = hooks_.exeFolder.isEmpty()
                   ? QCoreApplication::applicationDirPath() + QLatin1Char('/')
                   : hooks_.exeFolder;
  EnableDragImages(this);
  // Showing the first items sets no value by itself: the handlers must not run here.
  for (auto [box, index] : {std::pair{comboBox3_, 0}, {comboBox1_, 5}, {comboBox2_, 4}}) {
    const QSignalBlocker block(box);
    box->setCurrentIndex(index);
  }
  game_.FormCreate();
}

void TForm4::EnableDragImages(QWidget* control) {
  control->setProperty("dragImages", true);
  for (QObject* child : control->children())
    if (auto* w = qobject_cast<QWidget*>(child)) EnableDragImages(w);
}

void TForm4::Timer1Timer() {
  status1_->setText(
      QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("MM/dd  hh:mm AP")));
}

void TForm4::N1Click() {
  ui::ShowHelpContents(exeFolder_ + QStringLiteral("ペブリオ.hlp"), this);
  PlayCue(1);
}

void TForm4::About1Click() {
  PlayCue(1);
  ShowModal(
      QStringLiteral("ペブリオ\r\nVersion 1.0\r\n\r\n二人で遊ぶ、石をはさんで取るゲームです。"));
}

void TForm4::Exit1Click() {
  const QString question = QStringLiteral("「ペブリオ」を終了していいですか？");
  if (hooks_.message) {
    hooks_.message(question);  // answered with the default button, Yes
  } else if (QMessageBox::question(this, QStringLiteral("確認"), question,
                                   QMessageBox::Yes | QMessageBox::No,
                                   QMessageBox::Yes) == QMessageBox::No) {
    return;
  }
  QApplication::quit();
}

// A box's value is its selected item; typed text that matches no item selects none (-1).
static int SelectedIndex(const QComboBox* box) {
  return box->findText(box->currentText(), Qt::MatchExactly);
}

void TForm4::ComboBox1Change() {
  game_.ComboBox1Change(SelectedIndex(comboBox1_));
}
void TForm4::ComboBox2Change() {
  game_.ComboBox2Change(SelectedIndex(comboBox2_));
}
void TForm4::ComboBox3Change() {
  game_.ComboBox3Change(SelectedIndex(comboBox3_));
}
void TForm4::CuteButton1Click() {
  game_.CuteButton1Click();
}
void TForm4::CuteButton2Click() {
  game_.CuteButton2Click();
}
void TForm4::CuteButton4Click() {
  game_.CuteButton4Click();
}

QWidget* TForm4::Control(const QString& name) const {
  if (name == QLatin1String("Panel1")) return panel1_;
  return client_->findChild<QWidget*>(name);
}

QComboBox* TForm4::ComboBox(int number) const {
  return number == 1 ? comboBox1_ : number == 2 ? comboBox2_ : comboBox3_;
}

TCuteButton* TForm4::Button(int number) const {
  return number == 1 ? cuteButton1_ : number == 2 ? cuteButton2_ : cuteButton4_;
}

QString TForm4::TurnLine() const {
  return label4_->text();
}
QString TForm4::StatusText(int panel) const {
  return panel == 0 ? status0_->text() : status1_->text();
}

void TForm4::ShowModal(const QString& text) {
  if (hooks_.message) {
    hooks_.message(text);
    return;
  }
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox::information(this, QStringLiteral("ペブリオ"), shown);
}

void TForm4::PlayCue(int cue) {
  if (cue < 1 || cue > 9) return;
  if (hooks_.cue) {
    hooks_.cue(cue);
    return;
  }
  sound_->PlayAsync(QStringLiteral("oto/") + QLatin1String(kCueFiles[cue]));
}

void TForm4::ShowMessage(const std::string& text) {
  ShowModal(QString::fromStdString(text));
}

void TForm4::ShowPicture(int stone, TPicture picture) {
  TImage* image = stoneImage_[stone];
  if (picture == TPicture::None) {
    image->ClearPicture();
    return;
  }
  const QString name = PictureFile(picture);
  const QString path = exeFolder_ + QStringLiteral("aicon/") + name + QStringLiteral(".ico");
  QPixmap pixmap;
  if (!pixmap.load(path)) {
    // The handler that asked goes on, so that the board and the pictures stay in step.
    ShowModal(QStringLiteral("画像ファイルを読み込めません: %1").arg(path));
    return;
  }
  image->ShowPicture(pixmap, name);
}

void TForm4::MoveStonePicture(int stone, int left, int top) {
  stoneImage_[stone]->move(left, top);
}

void TForm4::SetStoneParent(int stone, TStoneParent parent) {
  QWidget* target = panel1_;
  const int box = std::clamp(parent.box, 1, kTrayBoxes);
  if (parent.kind == TParentKind::BlackTray) target = blackTray_[box];
  if (parent.kind == TParentKind::WhiteTray) target = whiteTray_[box];
  TImage* image = stoneImage_[stone];
  if (image->parentWidget() == target) return;
  const QPoint at = image->pos();
  image->setParent(target);
  image->move(at);
  image->show();
}

void TForm4::SetTurnLine(const std::string& text) {
  label4_->setText(QString::fromStdString(text));
}
void TForm4::SetStatusText(const std::string& text) {
  status0_->setText(QString::fromStdString(text));
}
void TForm4::SetStartEnabled(bool enabled) {
  cuteButton1_->setEnabled(enabled);
}
void TForm4::SetTakeEnabled(bool enabled) {
  cuteButton2_->setEnabled(enabled);
}
void TForm4::SetSettingsEnabled(bool enabled) {
  comboBox1_->setEnabled(enabled);
  comboBox2_->setEnabled(enabled);
  comboBox3_->setEnabled(enabled);
}

}  // namespace pebrio
