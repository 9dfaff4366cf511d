// The game executable's script mode as a separate process: its standard output for a short
// script, and its exit code and error text for a bad command and for a file it cannot read.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/app/reference_game.h"

namespace pebrio {
namespace {

struct TResult {
  int exitCode = -1;
  QList<QByteArray> lines;
  QString errors;
};

TResult RunScript(const QString& path) {
  QProcess process;
  process.start(QStringLiteral(PEBRIO_EXE), {QStringLiteral("--script"), path});
  EXPECT_TRUE(process.waitForFinished(30000)) << "the game did not finish";
  TResult r;
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  r.exitCode = process.exitCode();
  r.lines = process.readAllStandardOutput().split('\n');
  if (!r.lines.isEmpty() && r.lines.back().isEmpty()) r.lines.removeLast();
  r.errors = QString::fromUtf8(process.readAllStandardError());
  return r;
}

QString WriteScript(const QTemporaryDir& dir, const QByteArray& text) {
  const QString path = dir.filePath(QStringLiteral("script.txt"));
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
  return path;
}

TEST(ScriptProcess, ShortGamePrintsCuesBoxesAndStates) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Start, a refused out-of-turn drag, a capture-free move, a margin drop and the states.
  const QList<QByteArray> commands = {"target 0",  "start",   "drag 15",
                                      "move 1 11", "drag 15", "drop Panel1 360 20",
                                      "state",     "cancel",  "state"};
  const TResult r = RunScript(WriteScript(dir, commands.join('\n') + '\n'));
  EXPECT_EQ(r.exitCode, 0) << r.errors.toStdString();
  EXPECT_FALSE(r.errors.contains(QStringLiteral("pebrio:"))) << r.errors.toStdString();

  reference::TReferenceGame model;
  std::vector<QJsonObject> expected = model.TakeEvents();
  for (const QByteArray& c : commands) {
    const std::vector<QJsonObject> events = model.Run(QString::fromUtf8(c));
    expected.insert(expected.end(), events.begin(), events.end());
  }
  ASSERT_EQ(static_cast<size_t>(r.lines.size()), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const QByteArray& line = r.lines[static_cast<int>(i)];
    EXPECT_EQ(QJsonDocument::fromJson(line).object(), expected[i])
        << "line " << i << ": " << line.toStdString() << "\nexpected: "
        << QJsonDocument(expected[i]).toJson(QJsonDocument::Compact).toStdString();
  }
}

TEST(ScriptProcess, UnknownCommandFailsWithAMessage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const TResult r = RunScript(WriteScript(dir, "start\njump 3 4\nstate\n"));
  EXPECT_NE(r.exitCode, 0);
  EXPECT_TRUE(r.errors.contains(QStringLiteral("jump"))) << r.errors.toStdString();
  // The commands before the bad line ran; the state after it was never printed.
  for (const QByteArray& line : r.lines) EXPECT_FALSE(line.contains("\"state\"")) << line.data();
}

TEST(ScriptProcess, UnreadableFileFailsWithAMessage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString missing = dir.filePath(QStringLiteral("no-such-script.txt"));
  const TResult r = RunScript(missing);
  EXPECT_NE(r.exitCode, 0);
  EXPECT_TRUE(r.errors.contains(QStringLiteral("no-such-script.txt"))) << r.errors.toStdString();
  EXPECT_TRUE(r.lines.isEmpty() || r.lines == QList<QByteArray>{"{\"cue\": 5}"});
}

}  // namespace
}  // namespace pebrio
