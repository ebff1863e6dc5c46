// TSafeObject: the base of the engine objects whose handles cross into other
// code (directories, cursors, BLOB buffers). It carries a validity marker from
// construction to destruction so that a handle can be checked before use.
#pragma once

#include <string>

namespace zarnik {

class TSafeObject {
 public:
  static constexpr const char* kValidMarker = "ZARNIK_SIG";

  TSafeObject() : marker_(kValidMarker) {}
  virtual ~TSafeObject() { marker_.clear(); }
  TSafeObject(const TSafeObject&) = delete;
  TSafeObject& operator=(const TSafeObject&) = delete;

  bool IsValid() const { return marker_ == kValidMarker; }
  // False for no object at all.
  static bool IsValid(const TSafeObject* object) { return object != nullptr && object->IsValid(); }

 private:
  std::string marker_;
};

}  // namespace zarnik
