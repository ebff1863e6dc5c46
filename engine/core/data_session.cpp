#include "engine/core/data_session.h"

#include <algorithm>

#include "engine/core/data_directory.h"
#include "engine/core/data_engine.h"
#include "platform/locale.h"
#include "platform/path.h"
#include "platform/system.h"

namespace zarnik {

TDataSession::TDataSession(TDataEngine& engine) : engine_(engine), privateDir_(platform::TemporaryFolder()) {}

TDataSession::~TDataSession() {
  // Directories first: their tables hold copies of the passwords.
  directories_.clear();
  RemoveAllPasswords();
}

std::string TDataSession::GetPrivateDir() const {
  if (!privateDir_.empty()) return privateDir_;
  return platform::IncludeTrailingDelimiter(platform::TrimSpaces(platform::CurrentFolder()));
}

void TDataSession::SetPrivateDir(const std::string& folder) {
  privateDir_ =
      folder.empty() ? std::string() : platform::IncludeTrailingDelimiter(platform::TrimSpaces(folder));
}

uint16_t TDataSession::GetProgressPercentStep() const {
  return progressSteps_ == 0 ? 100 : static_cast<uint16_t>(100 / progressSteps_);
}

// --- passwords

namespace {

std::vector<TDataPassword*>::iterator FindText(std::vector<TDataPassword*>& list, const std::string& text) {
  return std::find_if(list.begin(), list.end(), [&text](TDataPassword* p) { return p->Text() == text; });
}

}  // namespace

void TDataSession::AddPassword(const std::string& text) {
  if (text.empty() || FindText(active_, text) != active_.end()) return;
  auto removed = FindText(removed_, text);
  if (removed != removed_.end()) {
    active_.push_back(*removed);
    removed_.erase(removed);
    return;
  }
  passwords_.push_back(std::make_unique<TDataPassword>(*this, text));
  active_.push_back(passwords_.back().get());
}

void TDataSession::RemovePassword(const std::string& text) {
  auto found = FindText(active_, text);
  if (found == active_.end()) return;
  removed_.push_back(*found);
  active_.erase(found);
}

void TDataSession::RemoveAllPasswords() {
  removed_.insert(removed_.end(), active_.begin(), active_.end());
  active_.clear();
}

TDataPassword* TDataSession::FindPasswordForTable(const TDigest& checkValue) {
  auto found = std::find_if(active_.begin(), active_.end(),
                            [&checkValue](TDataPassword* p) { return p->Matches(checkValue); });
  return found == active_.end() ? nullptr : *found;
}

TDataPassword* TDataSession::FindPassword(const std::string& text) {
  auto found = FindText(active_, text);
  return found == active_.end() ? nullptr : *found;
}

bool TDataSession::RequestPassword() {
  return passwordRequest && passwordRequest(*this);
}

// --- database directories

std::string TDataSession::DirectoryFolder(const std::string& directoryName, const std::string& folder) {
  std::string_view trimmed = platform::TrimSpaces(folder);
  if (TDataDirectory::IsMemoryName(directoryName)) return platform::IncludeTrailingDelimiter(trimmed);
  if (trimmed.empty())
    return platform::IncludeTrailingDelimiter(platform::TrimSpaces(platform::CurrentFolder()));
  return platform::IncludeTrailingDelimiter(trimmed);
}

TDataDirectory* TDataSession::FindDirectory(const std::string& directoryName, const std::string& folder,
                                            bool matchName) {
  for (const std::unique_ptr<TDataDirectory>& directory : directories_) {
    if (platform::CompareText(platform::TrimSpaces(directory->Folder()), folder, true) != 0) continue;
    if (matchName &&
        platform::CompareText(directory->Name(), directoryName.substr(0, TDataDirectory::kMaxNameLength),
                              true) != 0)
      continue;
    return directory.get();
  }
  return nullptr;
}

TDataDirectory& TDataSession::OpenDirectory(const std::string& directoryName, const std::string& folder,
                                            bool matchName, bool keepTablesOpen) {
  std::string directoryFolder = DirectoryFolder(directoryName, folder);
  if (TDataDirectory* found = FindDirectory(directoryName, directoryFolder, matchName)) {
    ++found->userCount;
    return *found;
  }
  auto directory = std::make_unique<TDataDirectory>(*this, directoryName, directoryFolder);
  directory->userCount = 1;
  directory->keepTablesOpen = keepTablesOpen;
  directories_.push_back(std::move(directory));
  return *directories_.back();
}

void TDataSession::CloseDirectory(TDataDirectory* directory) {
  auto found =
      std::find_if(directories_.begin(), directories_.end(),
                   [directory](const std::unique_ptr<TDataDirectory>& d) { return d.get() == directory; });
  if (found == directories_.end() || directory->userCount == 0) return;
  if (--directory->userCount == 0) directories_.erase(found);
}

}  // namespace zarnik
