// The engine's event hooks beside the cipher and compression ones: record
// change triggers and errors, the text index filters and the custom function
// lookup. The engine component installs them to forward to its events; an
// empty slot means the hook is not set.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace zarnik {

class TDataSession;
class TDataCursor;
class TDataDirectory;

enum class TRecordChangeKind : uint8_t {
  BeforeInsert,
  AfterInsert,
  BeforeUpdate,
  AfterUpdate,
  BeforeDelete,
  AfterDelete
};
enum class TRecordErrorKind : uint8_t { Insert, Update, Delete };
// What a record change error hook answers: raise the error again, unwind
// silently, or run the change once more.
enum class TRecordErrorAction : uint8_t { Fail, Abort, Retry };

// The most custom function names the lookup hook may announce.
constexpr size_t kMaxCustomFunctions = 1023;

struct TEngineEvents {
  // (kind, session, record image, other record image, physical record number or -1, cursor, directory)
  std::function<void(TRecordChangeKind, TDataSession&, uint8_t* record, uint8_t* otherRecord,
                     int64_t recordNumber, TDataCursor&, TDataDirectory&)>
      recordChangeTrigger;
  // (kind, session, action, the error, record image, physical record number or -1, cursor, directory)
  std::function<void(TRecordErrorKind, TDataSession&, TRecordErrorAction& action, const std::exception& error,
                     uint8_t* record, int64_t recordNumber, TDataCursor&, TDataDirectory&)>
      recordChangeError;
  // May replace the text about to be split into text index words.
  std::function<void(const std::string& tableName, const std::string& fieldName, std::string& textToIndex)>
      textIndexFilter;
  // May leave a word out of the text index by clearing `include`.
  std::function<void(const std::string& tableName, const std::string& fieldName, const std::string& token,
                     bool& include)>
      textIndexTokenFilter;
  // Names the application's custom functions when the engine starts.
  std::function<void(std::vector<std::string>& names)> customFunctionLookup;
};

// Sets a session's callback mark while a trigger or error hook runs, and
// afterwards clears it unless it was already set before.
class TCallbackMarkGuard {
 public:
  explicit TCallbackMarkGuard(bool& mark) : mark_(mark), wasSet_(mark) { mark_ = true; }
  ~TCallbackMarkGuard() { mark_ = wasSet_; }
  TCallbackMarkGuard(const TCallbackMarkGuard&) = delete;
  TCallbackMarkGuard& operator=(const TCallbackMarkGuard&) = delete;

 private:
  bool& mark_;
  bool wasSet_;
};

}  // namespace zarnik
