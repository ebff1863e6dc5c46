#include "engine/core/data_engine.h"

#include <nettle/md5.h>

#include <algorithm>

#include "engine/core/data_session.h"
#include "engine/files/file_registry.h"
#include "platform/locale.h"
#include "platform/path.h"

namespace zarnik {

TDigest MD5Digest(std::string_view text) {
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, text.size(), reinterpret_cast<const uint8_t*>(text.data()));
  TDigest digest;
  md5_digest(&ctx, digest.size(), digest.data());
  return digest;
}

TEngineLimits TEngineLimits::For(bool largeFileSupport) {
  TEngineLimits l;
  l.MaxTableFileSize = largeFileSupport ? 128000000000ULL : 4000000000ULL;
  l.MaxTableRecordCount = largeFileSupport ? 1000000000U : 200000000U;
  l.MaxTableRecordCount64 = l.MaxTableRecordCount;
  l.LockFileTop = largeFileSupport ? 0x7FFFFFFFFFFFFFFFULL : 0xFFFFFFFFULL;
  l.TableFileTop = l.LockFileTop;
  l.LockFileSpan = 65535;
  l.TransLockSpan = 4096;
  l.TableReadLockSpan = 65535;
  l.TableWriteLockSpan = 65535;
  l.DatabaseWriteLockSpan = 4096ULL * 65535ULL;
  l.TransLockBase = l.LockFileTop - l.LockFileSpan;
  l.TableReadLockBase = l.TransLockBase - l.TransLockSpan;
  l.TableWriteLockBase = l.TransLockBase - l.TransLockSpan;
  l.SlotLockBase = l.TableFileTop - l.MaxTableRecordCount64;
  l.SlotLockCount = 1024;
  return l;
}

TDataEngine::TDataEngine()
    : fileServices_(&platform::DefaultFileServices()),
      diskFiles_(std::make_unique<TFileRegistry>(*this, false)),
      memoryFiles_(std::make_unique<TFileRegistry>(*this, true)) {
  SetSignature(kDefaultSignature);
  limits_ = TEngineLimits::For(Settings.LargeFileSupport);
}

TDataEngine::~TDataEngine() {
  // Sessions go first: their tables still use files of the registries that
  // StopEngine empties.
  {
    TCriticalSectionGuard lock(sessionLock_);
    sessions_.clear();
  }
  StopEngine();
}

void TDataEngine::SetSignature(const std::string& text) {
  signature_ = ShortString(text);
  signatureDigest_ = MD5Digest(signature_);
}

bool TDataEngine::IsKnownSignatureDigest(const TDigest& digest) const {
  static const TDigest kDefaultDigest = MD5Digest(kDefaultSignature);
  return digest == signatureDigest_ || digest == kDefaultDigest;
}

std::string TDataEngine::GetVersionName(uint8_t version) {
  static const char* const kNames[] = {"1.00", "1.02", "1.04", "1.08", "2.00", "3.00", "4.00"};
  return version < std::size(kNames) ? kNames[version] : "";
}

void TDataEngine::StartEngine(const std::string& lockFileName) {
  platform::Randomize();
  legacyPlatform_ = platform::IsLegacyPlatform();
  Settings.LockFileName = ShortString(lockFileName);
  limits_ = TEngineLimits::For(Settings.LargeFileSupport);
  LookUpCustomFunctions();
  active_ = true;
}

void TDataEngine::LookUpCustomFunctions() {
  customFunctionNames_.clear();
  if (!Events.customFunctionLookup) return;
  Events.customFunctionLookup(customFunctionNames_);
  if (customFunctionNames_.size() > kMaxCustomFunctions) customFunctionNames_.resize(kMaxCustomFunctions);
  for (std::string& name : customFunctionNames_) name = ShortString(name);
}

void TDataEngine::StopEngine() {
  customFunctionNames_.clear();
  diskFiles_->Clear();
  memoryFiles_->Clear();
  active_ = false;
}

TDataSession& TDataEngine::CreateSession() {
  TCriticalSectionGuard lock(sessionLock_);
  sessions_.push_back(std::make_unique<TDataSession>(*this));
  return *sessions_.back();
}

void TDataEngine::FreeSession(TDataSession* session) {
  TCriticalSectionGuard lock(sessionLock_);
  auto it = std::find_if(sessions_.begin(), sessions_.end(),
                         [session](const std::unique_ptr<TDataSession>& s) { return s.get() == session; });
  if (it != sessions_.end()) sessions_.erase(it);
}

size_t TDataEngine::SessionCount() {
  TCriticalSectionGuard lock(sessionLock_);
  return sessions_.size();
}

void TDataEngine::LoadLocales() {
  // The operating system offers no locale of its own here: the list is the
  // built-in locale alone.
  locales_.clear();
  TDataLocale builtIn;
  builtIn.id = platform::kBuiltInLocaleId;
  builtIn.name = platform::kBuiltInLocaleName;
  builtIn.shortName = platform::kBuiltInLocaleShortName;
  locales_.insert(locales_.begin(), builtIn);
}

bool TDataEngine::IsLocaleSupported(uint32_t id) const { return id == 0 || platform::IsLocaleInstalled(id); }

bool TDataEngine::FindLocaleByName(const std::string& name, uint32_t* id) const {
  for (const TDataLocale& locale : locales_) {
    if (platform::CompareText(locale.name, name, true) == 0) {
      if (id != nullptr) *id = locale.id;
      return true;
    }
  }
  return false;
}

const std::array<uint8_t, 256>& TDataEngine::GetCollationTable(uint32_t id) {
  // Sessions of several threads may ask for the same table first.
  TCriticalSectionGuard lock(engineLock_);
  if (locales_.empty()) LoadLocales();
  auto it = std::find_if(locales_.begin(), locales_.end(), [id](const TDataLocale& l) { return l.id == id; });
  TDataLocale& locale = it != locales_.end() ? *it : locales_.front();
  if (!locale.collationBuilt) {
    // Positions 0 to 0x1E hold their own values; 0x1F to 0xFF hold the
    // characters 0x1F to 0xFF in the locale's order. The built-in locale
    // sorts by code, so its table is the identity.
    for (int c = 0; c < 256; ++c) locale.collation[c] = static_cast<uint8_t>(c);
    locale.collationBuilt = true;
  }
  return locale.collation;
}

void TDataEngine::RaiseError(TErrorCode code, const TErrorItems& items) {
  TCriticalSectionGuard lock(errorLock_);
  errorContext_.Clear();
  errorContext_.errorCode = code;
  // Taking the pending codes also resets them for the next raise.
  errorContext_.osErrorCode = pendingOSError_.exchange(0);
  errorContext_.socketErrorCode = pendingSocketError_.exchange(0);
  errorContext_.items = items;
  for (std::string* s :
       {&errorContext_.items.serverName, &errorContext_.items.userName, &errorContext_.items.databaseName,
        &errorContext_.items.tableName, &errorContext_.items.fieldName, &errorContext_.items.indexName,
        &errorContext_.items.text, &errorContext_.items.procedureName, &errorContext_.items.eventName})
    if (s->size() > kShortStringMax) s->resize(kShortStringMax);
  throw EZARNIKEngineError(errorContext_);
}

void TDataEngine::RaiseError(TErrorCode code, const std::string& tableName, const std::string& databaseName) {
  TErrorItems items;
  items.tableName = tableName;
  items.databaseName = databaseName;
  RaiseError(code, items);
}

TErrorCode TDataEngine::TranslateOSError() {
  TErrorCode code = TranslateErrno(platform::LastOSError());
  pendingOSError_ = code;
  return code;
}

std::string TDataEngine::GetErrorMessage(TErrorCode code) const { return zarnik::GetErrorMessage(code, errorContext_); }

void TDataEngine::SetFileServices(platform::FileServices* services) {
  fileServices_ = services != nullptr ? services : &platform::DefaultFileServices();
}

bool TDataEngine::RegistryExists(const std::string& name, bool inMemory) { return Registry(inMemory).Exists(name); }

int32_t TDataEngine::RegistryCreate(const std::string& name, bool inMemory, bool temporary, bool hidden,
                                    TBaseFile** file) {
  return Registry(inMemory).Create(name, temporary, hidden, file);
}

int32_t TDataEngine::RegistryOpen(const std::string& name, bool inMemory, bool hidden, bool temporary,
                                  bool exclusive, bool& readOnly, bool& forcedReadOnly, TBaseFile** file) {
  return Registry(inMemory).Open(name, hidden, temporary, exclusive, readOnly, forcedReadOnly, file);
}

int32_t TDataEngine::RegistryClose(TBaseFile* file, bool inMemory, int32_t handle) {
  return Registry(inMemory).Close(file, handle);
}

int32_t TDataEngine::RegistryRename(const std::string& oldName, bool inMemory, const std::string& newName) {
  return Registry(inMemory).Rename(oldName, newName);
}

int32_t TDataEngine::RegistryDelete(const std::string& name, bool inMemory) {
  return Registry(inMemory).Delete(name);
}

std::string TDataEngine::MakeUniqueFileName(const std::string& folder, const std::string& extension,
                                            bool inMemory) {
  std::string prefix = platform::IncludeTrailingDelimiter(folder) +
                       std::to_string(platform::CurrentThreadId()).substr(0, 5);
  for (uint64_t counter = 0;; ++counter) {
    std::string name = prefix + std::to_string(counter) + extension;
    if (!RegistryExists(name, inMemory)) return name;
  }
}

}  // namespace zarnik
