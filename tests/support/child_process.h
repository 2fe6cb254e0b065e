// Test support: a child process that a test starts and always stops. Its
// stdout comes back through a pipe, read line by line with a time-out.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hub::test {

class ChildProcess {
 public:
  // Starts `argv` (argv[0] a path) with the test's environment.
  explicit ChildProcess(const std::vector<std::string>& argv);
  // Forks and runs `body` in the child, whose answer is its exit code; what it
  // prints goes to ReadLine. Keep the body to plain calls: other threads of the
  // test process do not exist in the child.
  explicit ChildProcess(const std::function<int()>& body);
  ~ChildProcess();  // kills and reaps a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The next line of the child's output (without '\n'), or nothing when the
  // child closed its output or `timeoutMs` passed.
  std::optional<std::string> ReadLine(int timeoutMs);
  // The exit status (as from waitpid) once the child ended within the limit.
  std::optional<int> Wait(int timeoutMs);
  // SIGKILL and reap.
  void Kill();

 private:
  pid_t pid_ = -1;
  int pidFd_ = -1;
  int out_ = -1;
  std::string buffered_;
  bool reaped_ = false;
};

}  // namespace hub::test
