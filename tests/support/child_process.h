// A second process for tests of what holds between processes: the body runs
// in a forked child, and parent and child step each other through pipes.
#pragma once

#include <functional>

namespace zarnik::testing {

class ChildProcess {
 public:
  // Forks; the child runs body and exits with its result (99 when it throws).
  explicit ChildProcess(const std::function<int(ChildProcess&)>& body);
  // Waits for the child unless Join ran already.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Either side: sends one byte to the other side, or waits for one (false at
  // the other side's end).
  void Send(char message);
  bool Receive(char* message = nullptr);
  // Parent: waits for the child's exit code (-1 when it did not exit normally).
  int Join();

 private:
  int pid_ = -1;
  int readFd_ = -1;
  int writeFd_ = -1;
  bool joined_ = false;
  int exitCode_ = -1;
};

}  // namespace zarnik::testing
