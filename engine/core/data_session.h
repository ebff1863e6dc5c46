// An engine session: one thread's view of the engine with its own settings,
// passwords and open database directories.
#pragma once

namespace zarnik {

class TDataEngine;

class TDataSession {
 public:
  explicit TDataSession(TDataEngine& engine) : engine_(engine) {}
  virtual ~TDataSession() = default;
  TDataEngine& Engine() { return engine_; }

 private:
  TDataEngine& engine_;
};

}  // namespace zarnik
