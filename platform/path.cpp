#include "platform/path.h"

#include <dirent.h>
#include <cerrno>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/system.h"

namespace zarnik::platform {

bool IsPath(std::string_view name) {
  return name.find(PathDelim) != std::string_view::npos || name.find(':') != std::string_view::npos;
}

std::string NormalizeDelimiters(std::string_view name) {
  std::string result(name);
  for (char& c : result)
    if (c == '\\') c = PathDelim;
  return result;
}

std::string IncludeTrailingDelimiter(std::string_view folder) {
  std::string result(folder);
  if (!result.empty() && result.back() != PathDelim) result += PathDelim;
  return result;
}

std::string ExcludeTrailingDelimiter(std::string_view folder) {
  std::string result(folder);
  while (result.size() > 1 && result.back() == PathDelim) result.pop_back();
  return result;
}

std::string ExtractFilePath(std::string_view name) {
  size_t slash = name.rfind(PathDelim);
  return slash == std::string_view::npos ? std::string() : std::string(name.substr(0, slash + 1));
}

std::string ExtractFileName(std::string_view name) {
  size_t slash = name.rfind(PathDelim);
  return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

std::string ExtractFileExt(std::string_view name) {
  size_t dot = name.rfind('.');
  size_t slash = name.rfind(PathDelim);
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view name, std::string_view extension) {
  std::string ext = ExtractFileExt(name);
  return std::string(name.substr(0, name.size() - ext.size())) + std::string(extension);
}

std::string ExpandFileName(std::string_view name) {
  if (!name.empty() && name.front() == PathDelim) return std::string(name);
  return IncludeTrailingDelimiter(CurrentFolder()) + std::string(name);
}

std::string ResolveExistingName(const std::string& name) {
  struct stat st;
  if (name.empty() || lstat(name.c_str(), &st) == 0) return name;
  int savedError = errno;
  std::string folder = ExtractFilePath(name);
  std::string base = ExtractFileName(name);
  std::string result = name;
  if (!base.empty()) {
    if (DIR* dir = opendir(folder.empty() ? "." : folder.c_str())) {
      int matches = 0;
      std::string match;
      while (dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, base.c_str()) == 0) {
          ++matches;
          match = entry->d_name;
        }
      }
      closedir(dir);
      if (matches == 1) result = folder + match;
    }
  }
  errno = savedError;
  return result;
}

bool DirectoryExists(const std::string& folder) {
  struct stat st;
  return stat(ResolveExistingName(folder).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> ListFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::string resolved = ResolveExistingName(ExcludeTrailingDelimiter(folder));
  DIR* dir = opendir(resolved.empty() ? "." : resolved.c_str());
  if (dir == nullptr) return names;
  std::string prefix = IncludeTrailingDelimiter(resolved);
  while (dirent* entry = readdir(dir)) {
    struct stat st;
    if (stat((prefix + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
  return names;
}

}  // namespace zarnik::platform
