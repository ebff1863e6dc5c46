#include "platform/system.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

namespace zarnik::platform {

namespace {
std::mutex randomLock;
std::mt19937& Generator() {
  static std::mt19937 generator(12345);
  return generator;
}
}  // namespace

void SleepMilliseconds(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void Randomize() {
  std::lock_guard<std::mutex> guard(randomLock);
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  Generator().seed(static_cast<uint32_t>(now) ^ (static_cast<uint32_t>(getpid()) << 16));
}

uint32_t Random(uint32_t range) {
  if (range == 0) return 0;
  std::lock_guard<std::mutex> guard(randomLock);
  return std::uniform_int_distribution<uint32_t>(0, range - 1)(Generator());
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

std::string CurrentFolder() {
  char buffer[4096];
  if (getcwd(buffer, sizeof buffer) == nullptr) return ".";
  return buffer;
}

std::string TemporaryFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string folder = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

bool IsLegacyPlatform() { return false; }

int LastOSError() { return errno; }
void SetLastOSError(int error) { errno = error; }

}  // namespace zarnik::platform
