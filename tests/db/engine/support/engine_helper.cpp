// engine_helper: the second process of the engine's cross-process tests. It opens one table of
// a folder in its own engine session and does one thing, printing one line per step:
//
//   engine_helper FOLDER TABLE COMMAND [N] [START] [--attempts K]
//
//   | Command            | Does                                                            |
//   |--------------------|-----------------------------------------------------------------|
//   | open               | opens shared; "ok" or "error CODE"; holds until stdin closes    |
//   | open-exclusive     | the same, exclusively                                           |
//   | read-lock          | opens, takes the read lock; "ok"/"error CODE"; holds            |
//   | write-lock         | opens, takes the write lock; "ok"/"error CODE"; holds           |
//   | lock-record N      | opens, locks record N; "ok"/"error CODE"; holds                 |
//   | append N START     | appends N people START.. written through; "done"                |
//   | append-forever S   | appends S, S+1, ... printing each id once it is written         |
//   | transaction N S    | starts a transaction, appends N people S..; "appended"; at      |
//   |                    | the end of stdin commits; "committed"                           |
//   | count              | the active record count under the read lock                     |
//   | append-images H..  | appends each whole record image given in hex; "N ROWID" per     |
//   |                    | record, then "done"                                             |
//   | delete-records N.. | deletes each active record number; "done"                       |
//
// --attempts sets the session's file lock attempts (3 ms apart).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "tests/db/engine/support/storage_changes.h"
#include "tests/db/engine/support/table_support.h"

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void HoldUntilStdinCloses() {
  char c;
  while (read(0, &c, 1) > 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: engine_helper FOLDER TABLE COMMAND [N] [START]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string tableName = argv[2];
  const std::string command = argv[3];
  std::vector<std::string> args;
  uint32_t attempts = 0;
  for (int i = 4; i < argc; ++i) {
    if (std::string(argv[i]) == "--attempts" && i + 1 < argc) {
      attempts = static_cast<uint32_t>(std::atoi(argv[++i]));
    } else {
      args.push_back(argv[i]);
    }
  }
  auto number = [&](size_t i) { return i < args.size() ? std::atoll(args[i].c_str()) : 0; };

  TDataSession session;
  if (attempts != 0) session.SetFileLockAttempts(attempts);
  TDataDirectory& directory = session.OpenDirectory("helper", folder);
  TDataCursor cursor(directory);
  cursor.SetTableName(tableName);
  cursor.SetExclusive(command == "open-exclusive");
  try {
    cursor.OpenCursor();
    TDataTable& table = *cursor.Table();
    if (command == "read-lock") table.BeginRead();
    if (command == "write-lock") table.BeginWrite();
    if (command == "lock-record") table.LockRecord(static_cast<uint32_t>(number(0)));
    if (command == "append") {
      for (int64_t i = 0; i < number(0); ++i) {
        engine_test::AppendPerson(table, number(1) + i, "p" + std::to_string(number(1) + i));
      }
      Say("done");
      return 0;
    }
    if (command == "append-forever") {
      for (int64_t id = number(0);; ++id) {
        engine_test::AppendPerson(table, id, "p" + std::to_string(id));
        Say(std::to_string(id));
      }
    }
    if (command == "transaction") {
      directory.StartTransaction();
      for (int64_t i = 0; i < number(0); ++i) {
        engine_test::AppendPerson(table, number(1) + i, "p" + std::to_string(number(1) + i));
      }
      Say("appended");
      HoldUntilStdinCloses();
      directory.Commit();
      Say("committed");
      return 0;
    }
    if (command == "append-images") {
      for (const std::string& hex : args) {
        std::vector<uint8_t> image(hex.size() / 2);
        for (size_t i = 0; i < image.size(); ++i) {
          image[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
        }
        const auto [n, rowId] = engine_test::AppendImage(table, image);
        Say(std::to_string(n) + " " + std::to_string(rowId));
      }
      Say("done");
      return 0;
    }
    if (command == "delete-records") {
      for (size_t i = 0; i < args.size(); ++i) {
        engine_test::DeleteRecordAt(table, static_cast<uint32_t>(number(i)));
      }
      Say("done");
      return 0;
    }
    if (command == "count") {
      table.BeginRead();
      Say(std::to_string(table.IndexFile().ActiveRecordCount()));
      table.EndRead();
      return 0;
    }
    Say("ok");
  } catch (const EVUZODEEngineError& e) {
    Say("error " + std::to_string(e.EngineCode()));
  }
  HoldUntilStdinCloses();
  return 0;
}
