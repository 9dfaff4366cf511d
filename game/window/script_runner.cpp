// Reading and performing script commands, and the JSON form of the game state.
#include "game/window/script_runner.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>

#include "controls/cute_button.h"
#include "game/window/board_controls.h"

namespace pebrio {

QByteArray JsonString(const QString& text) {
  QByteArray out = "\"";
  for (const char c : text.toUtf8()) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += QByteArray("\\u00") +
                 QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

namespace {

template <typename F>
QByteArray JsonArray(int from, int to, F item) {
  QByteArray out = "[";
  for (int i = from; i <= to; ++i) {
    if (i > from) out += ",";
    out += item(i);
  }
  return out + "]";
}

QByteArray Int(int v) {
  return QByteArray::number(v);
}
QByteArray Bool(bool v) {
  return v ? "true" : "false";
}

}  // namespace

TScriptRunner::TScriptRunner(std::function<void(const QByteArray&)> out) : out_(std::move(out)) {
  TForm4Hooks hooks;
  hooks.cue = [this](int cue) { out_("{\"cue\": " + Int(cue) + "}"); };
  hooks.message = [this](const QString& text) { out_("{\"msgbox\": " + JsonString(text) + "}"); };
  form_ = std::make_unique<TForm4>(std::move(hooks));
}

TScriptRunner::~TScriptRunner() = default;

QByteArray TScriptRunner::StateJson() const {
  const TPebrioGame& g = form_->Game();
  const auto image = [this](int n) { return form_->StoneImage(n); };
  QByteArray s = "{\"state\": {";
  s += "\"stoneAt\": " + JsonArray(1, kPoints, [&](int p) { return Int(g.StoneAt[p]); });
  s += ", \"colourAt\": " + JsonArray(1, kPoints, [&](int p) { return Int(g.ColourAt[p]); });
  s += ", \"stonePoint\": " + JsonArray(1, kStones, [&](int n) { return Int(g.StonePoint[n]); });
  s += ", \"turn\": " + Int(g.Turn);
  s += ", \"firstPlayer\": " + Int(g.FirstPlayer);
  s += ", \"targetCount\": " + Int(g.TargetCount);
  s += ", \"maxDifference\": " + Int(g.MaxDifference);
  s += ", \"blackTaken\": " + Int(g.BlackTaken);
  s += ", \"whiteTaken\": " + Int(g.WhiteTaken);
  s += ", \"pendingCount\": " + Int(g.PendingCount);
  s += ", \"previousPoint\": " + Int(g.PreviousPoint);
  s += ", \"lastMovedStone\": " + Int(g.LastMovedStone);
  s += ", \"pending\": " +
       JsonArray(0, kStonesPerSide - 1, [&](int i) { return Int(g.PendingCaptures[i]); });
  s += ", \"label4\": " + JsonString(form_->TurnLine());
  s += ", \"status0\": " + JsonString(form_->StatusText(0));
  s += ", \"startEnabled\": " + Bool(form_->Button(1)->isEnabled());
  s += ", \"takeEnabled\": " + Bool(form_->Button(2)->isEnabled());
  s += ", \"settingsEnabled\": " + Bool(form_->ComboBox(1)->isEnabled() &&
                                        form_->ComboBox(2)->isEnabled() &&
                                        form_->ComboBox(3)->isEnabled());
  s += ", \"pictures\": " +
       JsonArray(1, kStones, [&](int n) { return JsonString(image(n)->PictureName()); });
  s += ", \"parents\": " + JsonArray(1, kStones, [&](int n) {
         return JsonString(image(n)->parentWidget()->objectName());
       });
  s += ", \"lefts\": " + JsonArray(1, kStones, [&](int n) { return Int(image(n)->x()); });
  s += ", \"tops\": " + JsonArray(1, kStones, [&](int n) { return Int(image(n)->y()); });
  return s + "}}";
}

bool TScriptRunner::RunLine(const QString& line, QString& error) {
  const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (words.isEmpty()) return true;
  const QString& command = words[0];
  QList<int> args;
  for (int i = 1; i < words.size(); ++i) {
    if (command == QLatin1String("drop") && i == 1) continue;  // the control's name
    bool ok = false;
    args.append(words[i].toInt(&ok));
    if (!ok) {
      error = QStringLiteral("not a number: %1").arg(words[i]);
      return false;
    }
  }
  const auto expect = [&](int count) {
    const int given = static_cast<int>(words.size()) - 1;
    if (given == count) return true;
    error = QStringLiteral("%1 takes %2 arguments").arg(command).arg(count);
    return false;
  };

  if (command == QLatin1String("first") || command == QLatin1String("target") ||
      command == QLatin1String("diff")) {
    if (!expect(1)) return false;
    const int number = command == QLatin1String("first")    ? 3
                       : command == QLatin1String("target") ? 1
                                                            : 2;
    QComboBox* box = form_->ComboBox(number);
    if (args[0] < -1 || args[0] >= box->count()) {
      error = QStringLiteral("%1: no item %2").arg(command).arg(args[0]);
      return false;
    }
    if (!box->isEnabled()) return true;
    {
      const QSignalBlocker block(box);
      if (args[0] >= 0) {
        box->setCurrentIndex(args[0]);
      } else {
        box->setEditText(QStringLiteral("?"));  // typed text that names no item
      }
    }
    if (number == 1) form_->ComboBox1Change();
    if (number == 2) form_->ComboBox2Change();
    if (number == 3) form_->ComboBox3Change();
    return true;
  }
  if (command == QLatin1String("start") || command == QLatin1String("take") ||
      command == QLatin1String("cancel")) {
    if (!expect(0)) return false;
    const int number = command == QLatin1String("start")  ? 1
                       : command == QLatin1String("take") ? 2
                                                          : 4;
    TCuteButton* button = form_->Button(number);
    if (button->isEnabled()) button->Click();
    return true;
  }
  if (command == QLatin1String("drag") || command == QLatin1String("move")) {
    if (!expect(command == QLatin1String("drag") ? 1 : 2)) return false;
    if (args[0] < 1 || args[0] > kStones) {
      error = QStringLiteral("no stone %1").arg(args[0]);
      return false;
    }
    form_->Image1StartDrag(args[0]);
    if (command == QLatin1String("move")) {
      const int p = args[1];
      if (p < 1 || p > kPoints) {
        error = QStringLiteral("no point %1").arg(p);
        return false;
      }
      form_->DragDropOn(form_->Control(QStringLiteral("Shape1")),
                        QPoint(39 * ColumnOf(p) + 19, 39 * RowOf(p) + 19));
    }
    return true;
  }
  if (command == QLatin1String("drop")) {
    if (!expect(3)) return false;
    QWidget* control = form_->Control(words[1]);
    static const QRegularExpression kDropTargets(
        QStringLiteral("^(Panel([1-9]|1[0-9]|2[01])|Shape1)$"));
    if (control == nullptr || !kDropTargets.match(words[1]).hasMatch()) {
      error = QStringLiteral("drop: no control %1").arg(words[1]);
      return false;
    }
    form_->DragDropOn(control, QPoint(args[0], args[1]));
    return true;
  }
  if (command == QLatin1String("state")) {
    if (!expect(0)) return false;
    out_(StateJson());
    return true;
  }
  error = QStringLiteral("unknown command: %1").arg(command);
  return false;
}

int TScriptRunner::RunFile(const QString& path, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    return 2;
  }
  int number = 0;
  while (!file.atEnd()) {
    ++number;
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (!RunLine(line, error)) {
      error = QStringLiteral("%1:%2: %3").arg(path).arg(number).arg(error);
      return 2;
    }
  }
  return 0;
}

}  // namespace pebrio
