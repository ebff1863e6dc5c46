#include "cli/table_info.h"

#include <span>
#include <string>

#include "cli/text_encoding.h"

namespace zarnik::cli {

namespace {

std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

}  // namespace

ordered_json DataHeaderJson(const TDataHeader& h) {
  return ordered_json{
      {"changeCounter", h.changeCounter},
      {"version", h.version},
      {"signatureDigest", Hex(h.signatureDigest)},
      {"freeRecordChainHead", h.freeRecordHead},
      {"nextRecordNumber", h.nextRecordNumber},
      {"lastRecordID", h.lastRecordID},
      {"lastAutoIncrementValue", h.lastAutoIncrement},
      {"recordCount", h.recordCount},
      {"recordSize", h.recordSize},
      {"fieldCount", h.fieldCount},
      {"blobFieldCount", h.blobFieldCount},
      {"blobBlockSize", h.blobBlockSize},
      {"blobRevisionCounter", h.blobRevision},
      {"indexPageSize", h.indexPageSize},
      {"lastUpdate", h.lastUpdate},
      {"description", Windows1252ToUtf8(h.description)},
      {"encrypted", h.encrypted},
      {"passwordCheckValue", Hex(h.passwordCheck)},
      {"localeIdentifier", h.localeId},
      {"userMajorVersion", h.userMajorVersion},
      {"userMinorVersion", h.userMinorVersion},
      {"headerChangedFlag", h.headerChangedFlag},
  };
}

ordered_json FieldDefinitionsJson(const std::vector<TFieldDefinition>& fields) {
  ordered_json list = ordered_json::array();
  for (const TFieldDefinition& field : fields) {
    ordered_json f = FieldDefinitionJson(field);
    f["number"] = field.number;
    f["offset"] = field.offset;
    f["physicalSize"] = field.physicalSize;
    list.push_back(std::move(f));
  }
  return list;
}

ordered_json TableInfoJson(const TDataHeader& header, const std::vector<TFieldDefinition>& fields,
                           const std::vector<TSchemaIndex>& indexes, const TSchemaTextIndex& textIndex) {
  ordered_json list = ordered_json::array();
  for (const TSchemaIndex& index : indexes) list.push_back(IndexJson(index, fields));
  return ordered_json{{"header", DataHeaderJson(header)},
                      {"fields", FieldDefinitionsJson(fields)},
                      {"indexes", list},
                      {"textIndex", TextIndexJson(textIndex, fields)}};
}

}  // namespace zarnik::cli
