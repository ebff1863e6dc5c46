#include "engine/core/table_file_name.h"

#include "platform/locale.h"
#include "platform/path.h"

namespace zarnik {

namespace {

// The length of the name without its extension when that is the data
// extension; the whole length otherwise.
size_t StemLength(std::string_view name, std::string_view dataExtension) {
  std::string extension = platform::ExtractFileExt(name);
  if (extension.empty() || platform::CompareText(extension, dataExtension, true) != 0) return name.size();
  return name.size() - extension.size();
}

}  // namespace

std::string BuildFileName(std::string_view name, std::string_view extension, std::string_view dataExtension) {
  std::string_view trimmed = platform::TrimSpaces(name);
  return std::string(trimmed.substr(0, StemLength(trimmed, dataExtension))) + std::string(extension);
}

std::string StripDataExtension(std::string_view name, std::string_view dataExtension) {
  return std::string(name.substr(0, StemLength(name, dataExtension)));
}

}  // namespace zarnik
