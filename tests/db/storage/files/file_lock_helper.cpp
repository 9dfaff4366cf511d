// A second process for the cross-process file tests. It acts on a file through the file layer
// and prints the outcome on one line: the engine code (0 for success), or "1"/"0" for a lock.
// The hold-* commands then keep what they took until their standard input closes, so a test
// decides when they let go without any timing.
//
//   file_lock_helper lock <path> <offset> <length>       try once, print 1 or 0, exit
//   file_lock_helper hold-lock <path> <offset> <length>  lock, print 1 or 0, hold until EOF
//   file_lock_helper open <path> <exclusive 0|1>         print the code of an open, exit
//   file_lock_helper hold-open <path> <exclusive 0|1>    open, print its code, hold until EOF
//   file_lock_helper create|delete <path>                print the code
//   file_lock_helper rename <path> <new path>            print the code
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/file_handler.h"

namespace {

template <class Action>
int CodeOf(Action&& action) {
  try {
    action();
  } catch (const EVUZODEEngineError& error) {
    return error.EngineCode();
  }
  return 0;
}

void WaitForEndOfInput() {
  char line[64];
  while (std::fgets(line, sizeof(line), stdin) != nullptr) {
  }
}

void Say(int value) {
  std::printf("%d\n", value);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  TFileHandler file;
  file.SetFileName(argv[2]);
  if (command == "lock" || command == "hold-lock") {
    if (argc < 5) return 2;
    const int code = CodeOf([&] { file.Open(); });
    if (code != 0) {
      Say(-code);
      return 1;
    }
    const bool locked = file.LockRegion(std::atoll(argv[4]), std::atoll(argv[3]));
    Say(locked ? 1 : 0);
    if (command == "hold-lock") WaitForEndOfInput();
    return 0;
  }
  if (command == "open" || command == "hold-open") {
    if (argc < 4) return 2;
    file.SetExclusive(std::strcmp(argv[3], "1") == 0);
    Say(CodeOf([&] { file.Open(); }));
    if (command == "hold-open") WaitForEndOfInput();
    return 0;
  }
  if (command == "create") {
    Say(CodeOf([&] { file.CreateFile(); }));
    return 0;
  }
  if (command == "delete") {
    Say(CodeOf([&] { file.DeleteFile(); }));
    return 0;
  }
  if (command == "rename" && argc >= 4) {
    Say(CodeOf([&] { file.RenameFile(argv[3]); }));
    return 0;
  }
  return 2;
}
