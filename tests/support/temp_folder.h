// A fresh folder under /tmp for one test, removed with everything in it when
// the test ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace zarnik::testing {

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/zarnik_test_XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // The full name of a file in the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace zarnik::testing
