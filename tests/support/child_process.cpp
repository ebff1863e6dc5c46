#include "tests/support/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

namespace zarnik::testing {

ChildProcess::ChildProcess(const std::function<int(ChildProcess&)>& body) {
  int toChild[2];
  int toParent[2];
  if (pipe(toChild) != 0) return;
  if (pipe(toParent) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    close(toChild[1]);
    close(toParent[0]);
    readFd_ = toChild[0];
    writeFd_ = toParent[1];
    int code = 99;
    try {
      code = body(*this);
    } catch (...) {
    }
    _exit(code);
  }
  close(toChild[0]);
  close(toParent[1]);
  readFd_ = toParent[0];
  writeFd_ = toChild[1];
}

ChildProcess::~ChildProcess() {
  Join();
}

void ChildProcess::Send(char message) {
  if (write(writeFd_, &message, 1) != 1) return;
}

bool ChildProcess::Receive(char* message) {
  char byte;
  if (read(readFd_, &byte, 1) != 1) return false;
  if (message != nullptr) *message = byte;
  return true;
}

int ChildProcess::Join() {
  if (joined_ || pid_ <= 0) return exitCode_;
  joined_ = true;
  close(writeFd_);
  int status = 0;
  if (waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
  close(readFd_);
  return exitCode_;
}

}  // namespace zarnik::testing
