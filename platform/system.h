// Miscellaneous system services: critical sections, pauses, pseudo-random
// numbers, thread ids, folders and the last operating system error.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace zarnik {

// Re-entrant for the thread that holds it, as the engine's file guard must be.
using TCriticalSection = std::recursive_mutex;
using TCriticalSectionGuard = std::lock_guard<std::recursive_mutex>;

namespace platform {

void SleepMilliseconds(uint32_t ms);

// Seeds the process's generator from the clock and the process id.
void Randomize();
// A pseudo-random number in [0, range); 0 when range is 0.
uint32_t Random(uint32_t range);

// The calling thread's id as the kernel numbers it.
uint32_t CurrentThreadId();

std::string CurrentFolder();
// The folder for temporary files, ending in '/'.
std::string TemporaryFolder();

// True on the legacy platform whose case conversion cannot work in place; never on Linux.
bool IsLegacyPlatform();

// The calling thread's last operating system error (errno).
int LastOSError();
void SetLastOSError(int error);

}  // namespace platform
}  // namespace zarnik
