#include "engine/core/data_password.h"

#include "engine/core/data_engine.h"
#include "engine/core/data_session.h"

namespace zarnik {

TDataPassword::TDataPassword(TDataSession& session, const std::string& text)
    : session_(session),
      text_(ShortString(text)),
      digest_(MD5Digest(text_)),
      schedule_(session.Engine().CryptoInit(digest_.data(), digest_.size())) {}

bool TDataPassword::Matches(const TDigest& checkValue) {
  return PasswordMatches(session_.Engine(), checkValue, digest_, schedule_);
}

TDigest TDataPassword::CheckValue() {
  return PasswordCheckValue(session_.Engine(), digest_, schedule_);
}

}  // namespace zarnik
