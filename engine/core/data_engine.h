// TDataEngine: the one engine core object of the process. It holds the
// engine-wide settings, the limits and lock geometry computed at start, the
// sessions, the registries of open files, the locales with their collation
// tables, the error context and the replacement hooks.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/engine_error.h"
#include "engine/core/engine_events.h"
#include "engine/files/crypto.h"
#include "platform/file_services.h"
#include "platform/system.h"

namespace zarnik {

class TDataSession;
class TFileRegistry;
class TBaseFile;
class TDataEngine;

constexpr const char* kDefaultSignature = "ZARNIK_SIG";
constexpr uint8_t kCurrentTableVersion = 6;

// MD5 digest of a text's characters.
TDigest MD5Digest(std::string_view text);

// One locale with its lazily built 256-byte collation table.
struct TDataLocale {
  uint32_t id = 0;
  std::string name;
  std::string shortName;
  bool collationBuilt = false;
  std::array<uint8_t, 256> collation{};
};

// The engine-wide settings; the component layer copies its properties here.
struct TEngineSettings {
  std::string LockFileName = "zarnik.lck";
  std::string TableDataExtension = ".dat";
  std::string TableIndexExtension = ".idx";
  std::string TableBlobExtension = ".blb";
  std::string TableDataBackupExtension = ".dbk";
  std::string TableIndexBackupExtension = ".ibk";
  std::string TableBlobBackupExtension = ".bbk";
  std::string TableDataUpgradeExtension = ".dup";
  std::string TableIndexUpgradeExtension = ".iup";
  std::string TableBlobUpgradeExtension = ".bup";
  std::string TableDataTempExtension = ".dat";
  std::string TableIndexTempExtension = ".idx";
  std::string TableBlobTempExtension = ".blb";
  bool CreateTempTablesInDatabase = false;
  int32_t MaxTableDataBufferSize = 32768;
  int32_t MaxTableDataBufferCount = 8192;
  int32_t MaxTableIndexBufferSize = 65536;
  int32_t MaxTableIndexBufferCount = 8192;
  int32_t MaxTableBlobBufferSize = 32768;
  int32_t MaxTableBlobBufferCount = 8192;
  uint8_t TableFilterIndexThreshhold = 1;
  uint16_t TableReadLockWaitTime = 3;
  uint16_t TableReadLockRetryCount = 32768;
  uint16_t TableWriteLockWaitTime = 3;
  uint16_t TableWriteLockRetryCount = 32768;
  uint16_t TableTransLockWaitTime = 3;
  uint16_t TableTransLockRetryCount = 32768;
  uint16_t TableMaxReadLockCount = 100;
  bool LargeFileSupport = false;
};

// Size limits and byte-range lock offsets, fixed by StartEngine from
// LargeFileSupport.
struct TEngineLimits {
  uint64_t MaxTableFileSize = 0;
  uint32_t MaxTableRecordCount = 0;
  uint64_t MaxTableRecordCount64 = 0;
  uint64_t LockFileTop = 0;
  uint64_t TableFileTop = 0;
  uint64_t LockFileSpan = 0;
  uint64_t TransLockSpan = 0;
  uint64_t TableReadLockSpan = 0;
  uint64_t TableWriteLockSpan = 0;
  uint64_t DatabaseWriteLockSpan = 0;
  uint64_t TransLockBase = 0;
  uint64_t TableReadLockBase = 0;
  uint64_t TableWriteLockBase = 0;
  uint64_t SlotLockBase = 0;
  uint32_t SlotLockCount = 0;

  static TEngineLimits For(bool largeFileSupport);
};

class TDataEngine {
 public:
  TDataEngine();
  ~TDataEngine();
  TDataEngine(const TDataEngine&) = delete;
  TDataEngine& operator=(const TDataEngine&) = delete;

  // --- settings, start and stop
  TEngineSettings Settings;
  bool Server = false;
  bool Active() const { return active_; }
  bool IsLegacyPlatform() const { return legacyPlatform_; }
  const TEngineLimits& Limits() const { return limits_; }
  void StartEngine(const std::string& lockFileName);
  void StopEngine();

  const std::string& Signature() const { return signature_; }
  const TDigest& SignatureDigest() const { return signatureDigest_; }
  void SetSignature(const std::string& text);
  // True for the digest of this engine's signature and for that of the
  // default one: tables made under the default signature stay readable.
  bool IsKnownSignatureDigest(const TDigest& digest) const;
  static std::string GetVersionName(uint8_t version);

  // --- event hooks and the custom functions named at start
  TEngineEvents Events;
  const std::vector<std::string>& CustomFunctionNames() const { return customFunctionNames_; }

  // --- sessions
  TDataSession& CreateSession();
  void FreeSession(TDataSession* session);
  size_t SessionCount();

  // --- locales
  void LoadLocales();
  bool IsLocaleSupported(uint32_t id) const;
  bool FindLocaleByName(const std::string& name, uint32_t* id = nullptr) const;
  const std::array<uint8_t, 256>& GetCollationTable(uint32_t id);
  const std::vector<TDataLocale>& Locales() const { return locales_; }

  // --- errors
  // Raises EZARNIKEngineError with the items the site knows (server, user,
  // database, table, field, index, text, procedure, event, line, column) and
  // the pending OS and socket codes, which it resets.
  [[noreturn]] void RaiseError(TErrorCode code, const TErrorItems& items = {});
  // Shorthand for the common sites that know a table and a database name.
  [[noreturn]] void RaiseError(TErrorCode code, const std::string& tableName,
                               const std::string& databaseName = {});
  TErrorCode TranslateOSError();
  void SetPendingSocketError(int32_t code) { pendingSocketError_ = code; }
  int32_t PendingOSError() const { return pendingOSError_; }
  const TErrorContext& ErrorContext() const { return errorContext_; }
  std::string GetErrorMessage(TErrorCode code) const;
  static std::string GetErrorName(TErrorCode code) { return zarnik::GetErrorName(code); }
  static TErrorCode GetExceptionErrorCode(const std::exception& e) { return zarnik::GetExceptionErrorCode(e); }

  // --- file services and the open-file registry
  platform::FileServices& Files() { return *fileServices_; }
  // Replaces the file services (tests inject faults); nullptr restores the default.
  void SetFileServices(platform::FileServices* services);
  TFileRegistry& Registry(bool inMemory) { return inMemory ? *memoryFiles_ : *diskFiles_; }
  TFileRegistry& DiskFiles() { return *diskFiles_; }
  TFileRegistry& MemoryFiles() { return *memoryFiles_; }
  // The registry operations: 0, a handle id, or a negated engine error code.
  // Open and Create give the shared object through file.
  bool RegistryExists(const std::string& name, bool inMemory);
  int32_t RegistryCreate(const std::string& name, bool inMemory, bool temporary, bool hidden, TBaseFile** file);
  int32_t RegistryOpen(const std::string& name, bool inMemory, bool hidden, bool temporary, bool exclusive,
                       bool& readOnly, bool& forcedReadOnly, TBaseFile** file);
  int32_t RegistryClose(TBaseFile* file, bool inMemory, int32_t handle);
  int32_t RegistryRename(const std::string& oldName, bool inMemory, const std::string& newName);
  int32_t RegistryDelete(const std::string& name, bool inMemory);
  // folder + the first five digits of the thread id + a counter + extension,
  // the first such name that does not exist.
  std::string MakeUniqueFileName(const std::string& folder, const std::string& extension, bool inMemory);

  // --- encryption and compression
  TCryptoHooks Hooks;
  TCryptoContext CryptoInit(const uint8_t* key, size_t keyLength);
  void EncryptBlock(TCryptoContext& context, uint8_t* block);
  void DecryptBlock(TCryptoContext& context, uint8_t* block);
  void CryptoReset(TCryptoContext& context);
  void EncryptBuffer(TCryptoContext& context, uint8_t* buffer, size_t length);
  void DecryptBuffer(TCryptoContext& context, uint8_t* buffer, size_t length);
  std::vector<uint8_t> Compress(const uint8_t* data, size_t length, int level);
  std::vector<uint8_t> Decompress(const uint8_t* data, size_t length);

  TCriticalSection& EngineLock() { return engineLock_; }

 private:
  void LookUpCustomFunctions();
  void CipherBlocks(TCryptoContext& context, uint8_t* buffer, size_t length, bool encrypt);
  void CipherBuffer(TCryptoContext& context, uint8_t* buffer, size_t length, bool encrypt);

  bool active_ = false;
  bool legacyPlatform_ = false;
  TEngineLimits limits_;
  std::string signature_;
  TDigest signatureDigest_{};

  TCriticalSection engineLock_;
  TCriticalSection errorLock_;
  TErrorContext errorContext_;
  // Written by the file layer and the remote transport of any thread.
  std::atomic<int32_t> pendingOSError_ = 0;
  std::atomic<int32_t> pendingSocketError_ = 0;

  TCriticalSection sessionLock_;
  std::vector<std::unique_ptr<TDataSession>> sessions_;

  std::vector<TDataLocale> locales_;
  std::vector<std::string> customFunctionNames_;

  platform::FileServices* fileServices_;
  std::unique_ptr<TFileRegistry> diskFiles_;
  std::unique_ptr<TFileRegistry> memoryFiles_;
};

}  // namespace zarnik
