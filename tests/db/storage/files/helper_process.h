// The second process of the cross-process tests, started with posix_spawn and driven through
// pipes: file_lock_helper for the file layer (PEBRIO_FILE_LOCK_HELPER names its executable),
// or any other helper executable given by path.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace files_test {

// A helper process started with posix_spawn (not fork, which would inherit our descriptors'
// locks). Its standard output is read line by line; closing its standard input lets a hold-*
// command finish.
class THelperProcess {
 public:
#ifdef PEBRIO_FILE_LOCK_HELPER
  explicit THelperProcess(const std::vector<std::string>& args)
      : THelperProcess(PEBRIO_FILE_LOCK_HELPER, args) {}
#endif
  // Starts program (an executable path) with args.
  THelperProcess(const std::string& program, const std::vector<std::string>& args) {
    int to_child[2];
    int from_child[2];
    if (pipe2(to_child, O_CLOEXEC) != 0) return;
    if (pipe2(from_child, O_CLOEXEC) != 0) {
      close(to_child[0]);
      close(to_child[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
    std::vector<char*> argv;
    std::string path = program;
    argv.push_back(path.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(to_child[0]);
    close(from_child[1]);
    input_ = to_child[1];
    output_ = from_child[0];
  }
  ~THelperProcess() {
    Release();
    Wait();
    if (output_ >= 0) close(output_);
  }
  THelperProcess(const THelperProcess&) = delete;
  THelperProcess& operator=(const THelperProcess&) = delete;

  bool Started() const {
    return pid_ > 0;
  }

  // The next line the helper printed (blocks until it does; "" at its end).
  std::string ReadLine() {
    std::string line;
    char c;
    while (output_ >= 0 && read(output_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  // Lets a holding helper finish.
  void Release() {
    if (input_ >= 0) close(input_);
    input_ = -1;
  }
  // Ends the helper at once, as a crash would.
  void Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
  }
  // Waits for the helper's end; its exit status, or -1.
  int Wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
};

#ifdef PEBRIO_FILE_LOCK_HELPER
// Runs the helper to its end and returns the first line it printed.
inline std::string RunHelper(const std::vector<std::string>& args) {
  THelperProcess helper(args);
  std::string line = helper.ReadLine();
  helper.Release();
  helper.Wait();
  return line;
}
#endif

}  // namespace files_test
