// Table names and the names of a table's files. A table is named with or
// without the data extension; its files are the name with each file's
// extension in place of a data extension.
#pragma once

#include <string>
#include <string_view>

namespace zarnik {

// The trimmed name with extension: a data extension (any letter case) is
// replaced, any other extension kept and extension appended. TheData and
// TheData.dat give TheData.idx, my.table gives my.table.idx.
std::string BuildFileName(std::string_view name, std::string_view extension, std::string_view dataExtension);

// The name without its extension when that is the data extension (any letter
// case); otherwise the name unchanged.
std::string StripDataExtension(std::string_view name, std::string_view dataExtension);

}  // namespace zarnik
