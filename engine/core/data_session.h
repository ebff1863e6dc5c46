// TDataSession: the context in which tables are used. It carries the lock
// waiting settings, the private directory and progress step, the table
// passwords it knows, and the database directories it has open; one thread
// uses a session and everything below it at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/data_password.h"

namespace zarnik {

class TDataEngine;
class TDataDirectory;

class TDataSession {
 public:
  static constexpr uint16_t kDefaultProgressSteps = 20;
  static constexpr uint8_t kDefaultLockRetryCount = 15;
  static constexpr uint16_t kDefaultLockWaitTime = 100;
  static constexpr uint8_t kPessimisticLocking = 0;

  explicit TDataSession(TDataEngine& engine);
  // Frees the directories still open and every password.
  virtual ~TDataSession();
  TDataSession(const TDataSession&) = delete;
  TDataSession& operator=(const TDataSession&) = delete;

  TDataEngine& Engine() { return engine_; }

  // --- settings
  std::string name;
  bool remote = false;
  // Set while the session is used from inside an engine hook.
  bool callbackMark = false;

  // The stored private directory, or the current folder (with a final '/')
  // when none is stored.
  std::string GetPrivateDir() const;
  // Empty stores empty; otherwise the trimmed folder with one final '/'.
  void SetPrivateDir(const std::string& folder);
  uint16_t ProgressSteps() const { return progressSteps_; }
  void SetProgressSteps(uint16_t steps) { progressSteps_ = steps; }
  // The percentage by which a long operation's progress grows between two
  // reports: 100 / progress steps, or 100 without steps.
  uint16_t GetProgressPercentStep() const;
  bool ForceBufferFlush() const { return forceBufferFlush_; }
  void SetForceBufferFlush(bool force) { forceBufferFlush_ = force; }
  bool StrictChangeDetection() const { return strictChangeDetection_; }
  void SetStrictChangeDetection(bool strict) { strictChangeDetection_ = strict; }
  uint8_t LockRetryCount() const { return lockRetryCount_; }
  void SetLockRetryCount(uint8_t count) { lockRetryCount_ = count; }
  uint16_t LockWaitTime() const { return lockWaitTime_; }
  void SetLockWaitTime(uint16_t milliseconds) { lockWaitTime_ = milliseconds; }
  uint8_t LockProtocol() const { return lockProtocol_; }
  void SetLockProtocol(uint8_t protocol) { lockProtocol_ = protocol; }

  // --- passwords
  // Empty or already active: nothing. Removed earlier: active again (the
  // same object). Otherwise a new password is made and appended.
  void AddPassword(const std::string& text);
  // The first active password with that text is removed from use.
  void RemovePassword(const std::string& text);
  void RemoveAllPasswords();
  const std::vector<TDataPassword*>& ActivePasswords() const { return active_; }
  // The first active password that opens a table with this check value, or none.
  TDataPassword* FindPasswordForTable(const TDigest& checkValue);
  // The active password with exactly this text, or none.
  TDataPassword* FindPassword(const std::string& text);
  // Asks the application for a password (it adds it with AddPassword);
  // false when no one is asked or the application gives up.
  std::function<bool(TDataSession&)> passwordRequest;
  bool RequestPassword();

  // --- database directories
  // The directory of a folder (or of the in-memory database "Memory"),
  // shared by every name that leads to the same folder unless matchName is
  // set; each call is one more user, to be ended with CloseDirectory.
  TDataDirectory& OpenDirectory(const std::string& directoryName, const std::string& folder, bool matchName,
                                bool keepTablesOpen);
  // One user less; the directory is freed with its last user. Nothing for
  // a directory this session does not have open.
  void CloseDirectory(TDataDirectory* directory);
  size_t DirectoryCount() const { return directories_.size(); }

 private:
  static std::string DirectoryFolder(const std::string& directoryName, const std::string& folder);
  TDataDirectory* FindDirectory(const std::string& directoryName, const std::string& folder, bool matchName);

  TDataEngine& engine_;
  std::string privateDir_;
  uint16_t progressSteps_ = kDefaultProgressSteps;
  bool forceBufferFlush_ = false;
  bool strictChangeDetection_ = false;
  uint8_t lockRetryCount_ = kDefaultLockRetryCount;
  uint16_t lockWaitTime_ = kDefaultLockWaitTime;
  uint8_t lockProtocol_ = kPessimisticLocking;

  // Every password made lives until the session ends; the lists say which
  // are in use.
  std::vector<std::unique_ptr<TDataPassword>> passwords_;
  std::vector<TDataPassword*> active_;
  std::vector<TDataPassword*> removed_;
  std::vector<std::unique_ptr<TDataDirectory>> directories_;
};

}  // namespace zarnik
