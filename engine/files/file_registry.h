// The engine's registry of shared open files: one sorted list of disk files
// and one of memory files, each under its own guard.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"

namespace zarnik {

class TBaseFile;

class TFileRegistry {
 public:
  TFileRegistry();
  ~TFileRegistry();
  TFileRegistry(const TFileRegistry&) = delete;
  TFileRegistry& operator=(const TFileRegistry&) = delete;

  TCriticalSection& Guard() { return guard_; }
  // Frees every registered file.
  void Clear();

 private:
  TCriticalSection guard_;
  std::vector<std::unique_ptr<TBaseFile>> files_;  // sorted by name
};

}  // namespace zarnik
