// The script mode: drives the real main window from a file of commands, one per line, and
// prints one JSON object per line for every cue, modal box and requested state.
//
// Commands: first I | target I | diff I (select item I of ComboBox3, ComboBox1, ComboBox2,
// -1 for typed text that selects none, then run the box's change handler); start | take |
// cancel (click CuteButton1, CuteButton2, CuteButton4); drag N (press stone N's picture);
// drop C X Y (release the drag over control C at X, Y in C's coordinates); move N P (drag N,
// then drop on Shape1 at the centre of point P's cell); state. A command aimed at a disabled
// control does nothing and prints nothing.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "game/window/form4.h"

class QTextStream;

namespace pebrio {

class TScriptRunner {
 public:
  // out receives the JSON lines. Creates the main window with hooks that print.
  explicit TScriptRunner(std::function<void(const QByteArray&)> out);
  ~TScriptRunner();

  // Runs one command line; returns false with an error text for an unknown or malformed one.
  bool RunLine(const QString& line, QString& error);
  // Runs every line of a file; returns the process exit code (0, or 2 with a message).
  int RunFile(const QString& path, QString& error);

  TForm4& Form() { return *form_; }
  QByteArray StateJson() const;

 private:
  std::function<void(const QByteArray&)> out_;
  std::unique_ptr<TForm4> form_;
};

// Quotes text as a JSON string (UTF-8, with the characters JSON requires escaped).
QByteArray JsonString(const QString& text);

}  // namespace pebrio
