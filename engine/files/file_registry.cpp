#include "engine/files/file_registry.h"

namespace zarnik {

class TBaseFile {
 public:
  virtual ~TBaseFile() = default;
};

TFileRegistry::TFileRegistry() = default;
TFileRegistry::~TFileRegistry() = default;

void TFileRegistry::Clear() {
  TCriticalSectionGuard lock(guard_);
  files_.clear();
}

}  // namespace zarnik
