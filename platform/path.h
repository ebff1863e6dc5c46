// Paths on this platform: '/' is the delimiter, and names of existing files
// resolve without regard to ASCII case, as tables copied from systems whose
// file names ignore case keep odd capitals.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarnik::platform {

constexpr char PathDelim = '/';

// True when the name contains the path delimiter (or a drive colon).
bool IsPath(std::string_view name);
// Turns foreign delimiters ('\') into '/'.
std::string NormalizeDelimiters(std::string_view name);
// Adds a trailing '/' when missing (an empty folder stays empty).
std::string IncludeTrailingDelimiter(std::string_view folder);
std::string ExcludeTrailingDelimiter(std::string_view folder);
// The folder part including its trailing '/', and the name part.
std::string ExtractFilePath(std::string_view name);
std::string ExtractFileName(std::string_view name);
// The extension including its dot, or empty.
std::string ExtractFileExt(std::string_view name);
std::string ChangeFileExt(std::string_view name, std::string_view extension);
std::string ExpandFileName(std::string_view name);

// The name of an existing entry: the name itself when it exists, else the one
// entry of its folder whose name equals it ignoring ASCII case; the name
// unchanged when there is no such single entry.
std::string ResolveExistingName(const std::string& name);

bool DirectoryExists(const std::string& folder);

// The names of the regular files in a folder (not its sub-folders), sorted
// without regard to case; empty when the folder cannot be read.
std::vector<std::string> ListFiles(const std::string& folder);

}  // namespace zarnik::platform
