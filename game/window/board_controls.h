// The simple controls of the main window, painted by hand so that they look the same on
// every platform style: a panel with a face colour and a border, a filled rectangle shape,
// and a picture control that remembers which picture it shows.
#pragma once

#include <QColor>
#include <QLabel>
#include <QWidget>

namespace pebrio {

// A panel: a face colour and either a single dark border or a raised bevel.
class TPanel : public QWidget {
 public:
  enum class TBorder { Single, Raised };
  TPanel(QWidget* parent, const QString& name, QColor color, TBorder border);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor color_;
  TBorder border_;
};

// A rectangle shape: filled with its brush colour and outlined with a black pen. A shape one
// pixel thin draws as a line.
class TShape : public QWidget {
 public:
  TShape(QWidget* parent, const QString& name, QColor fill);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor fill_;
};

// A picture control. PictureName is the name of the picture loaded last ("stB" ...), empty
// when it shows nothing.
class TImage : public QLabel {
 public:
  TImage(QWidget* parent, const QString& name, int tag);
  int Tag() const { return tag_; }
  const QString& PictureName() const { return pictureName_; }
  void ShowPicture(const QPixmap& pixmap, const QString& name);
  void ClearPicture();

 private:
  int tag_;
  QString pictureName_;
};

}  // namespace pebrio
