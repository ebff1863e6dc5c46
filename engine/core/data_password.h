// TDataPassword: a table password known to a session, with its MD5 digest and
// the key schedule made from that digest. It tests an enciphered table's
// password check value and makes the check value for a new table.
#pragma once

#include <string>

#include "engine/files/crypto.h"

namespace zarnik {

class TDataSession;

class TDataPassword {
 public:
  // Computes the digest and the key schedule; raises what the engine's
  // crypto initialisation raises.
  TDataPassword(TDataSession& session, const std::string& text);
  TDataPassword(const TDataPassword&) = delete;
  TDataPassword& operator=(const TDataPassword&) = delete;

  TDataSession& Session() { return session_; }
  const std::string& Text() const { return text_; }
  const TDigest& Digest() const { return digest_; }
  TCryptoContext& Schedule() { return schedule_; }
  size_t ScheduleSize() const { return schedule_.Size(); }

  // True when deciphering the check value with this password's schedule
  // gives exactly its digest.
  bool Matches(const TDigest& checkValue);
  // The digest enciphered with the schedule: what a table's header stores.
  TDigest CheckValue();

 private:
  TDataSession& session_;
  std::string text_;
  TDigest digest_;
  TCryptoContext schedule_;
};

}  // namespace zarnik
