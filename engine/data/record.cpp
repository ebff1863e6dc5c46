#include "engine/data/record.h"

namespace zarnik {

void TRecord::SetStatus(uint8_t status) {
  SetRecordStatus(Bytes(), status);
  dirty = true;
}

void TRecord::SetLink(int32_t link) {
  SetRecordLink(Bytes(), link);
  dirty = true;
}

void TRecord::SetRecordID(int32_t id) {
  zarnik::SetRecordID(Bytes(), id);
  dirty = true;
}

void TRecord::SetRecordHash(const TRecordHash& hash) {
  zarnik::SetRecordHash(Bytes(), hash);
  dirty = true;
}

}  // namespace zarnik
