#include "cli/table_schema.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "cli/cli_error.h"
#include "cli/text_encoding.h"
#include "platform/locale.h"

namespace zarnik::cli {

namespace {

struct TTypeName {
  const char* name;
  uint8_t dataType;
  uint8_t subtype;
};

// The first entry of a (type, subtype) pair is the name it reads back as.
constexpr std::array<TTypeName, 22> kTypeNames = {{
    {"ftString", kFieldString, kSubtypeNone},
    {"ftFixedChar", kFieldString, kSubtypeFixedString},
    {"ftWideString", kFieldString, kSubtypeWideString},
    {"ftGuid", kFieldString, kSubtypeGuid},
    {"ftSmallint", kFieldSmallInt, kSubtypeNone},
    {"ftInteger", kFieldInteger, kSubtypeNone},
    {"ftAutoInc", kFieldInteger, kSubtypeAutoInc},
    {"ftWord", kFieldWord, kSubtypeNone},
    {"ftBoolean", kFieldBoolean, kSubtypeNone},
    {"ftFloat", kFieldFloat, kSubtypeNone},
    {"ftCurrency", kFieldFloat, kSubtypeCurrency},
    {"ftBCD", kFieldBcd, kSubtypeNone},
    {"ftDate", kFieldDate, kSubtypeNone},
    {"ftTime", kFieldTime, kSubtypeNone},
    {"ftDateTime", kFieldTimestamp, kSubtypeNone},
    {"ftBytes", kFieldBytes, kSubtypeNone},
    {"ftVarBytes", kFieldVarBytes, kSubtypeNone},
    {"ftLargeint", kFieldLargeInt, kSubtypeNone},
    {"ftBlob", kFieldBlob, kSubtypeNone},
    {"ftMemo", kFieldBlob, kSubtypeMemo},
    {"ftFmtMemo", kFieldBlob, kSubtypeMemo},
    {"ftGraphic", kFieldBlob, kSubtypeGraphic},
}};

// Codes that older writers used and that read back as another type.
constexpr uint8_t kOldIntegerCode = 13;
constexpr uint8_t kOldLargeIntCode = 19;

constexpr std::array<const char*, 3> kCharCases = {"fcNoChange", "fcLowerCase", "fcUpperCase"};
constexpr std::array<const char*, 4> kCompressions = {"icNone", "icDuplicateByte", "icTrailingByte", "icFull"};
constexpr const char* kPrimaryOption = "ixPrimary";
constexpr const char* kUniqueOption = "ixUnique";
constexpr const char* kCaseInsensitiveOption = "ixCaseInsensitive";
constexpr const char* kDescendingOption = "ixDescending";

[[noreturn]] void Refuse(const std::string& where, const std::string& why) {
  throw ECliError("schema: " + where + ": " + why);
}

void CheckKeys(const json& object, const std::string& where, std::initializer_list<const char*> allowed) {
  if (!object.is_object()) Refuse(where, "must be a JSON object");
  for (const auto& [key, value] : object.items())
    if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return key == a; }))
      Refuse(where, "unknown key \"" + key + "\"");
}

// The member, or nothing when it is absent or null.
const json* Member(const json& object, const char* key) {
  auto it = object.find(key);
  return it == object.end() || it->is_null() ? nullptr : &*it;
}

// A text in its stored characters.
std::string StoredText(const json& value, const char* key, const std::string& where) {
  if (!value.is_string()) Refuse(where, "\"" + std::string(key) + "\" must hold texts");
  try {
    return Utf8ToWindows1252(value.get_ref<const std::string&>());
  } catch (const ECliError& e) {
    Refuse(where, "\"" + std::string(key) + "\": " + e.Message());
  }
}

std::string Text(const json& object, const char* key, const std::string& where) {
  const json* value = Member(object, key);
  return value == nullptr ? std::string() : StoredText(*value, key, where);
}

uint64_t Whole(const json& object, const char* key, const std::string& where, uint64_t fallback, uint64_t maximum) {
  const json* value = Member(object, key);
  if (value == nullptr) return fallback;
  bool whole = value->is_number_unsigned() || (value->is_number_integer() && value->get<int64_t>() >= 0);
  if (!whole || value->get<uint64_t>() > maximum)
    Refuse(where, "\"" + std::string(key) + "\" must be a whole number from 0 to " + std::to_string(maximum));
  return value->get<uint64_t>();
}

bool Flag(const json& object, const char* key, const std::string& where) {
  const json* value = Member(object, key);
  if (value == nullptr) return false;
  if (!value->is_boolean()) Refuse(where, "\"" + std::string(key) + "\" must be true or false");
  return value->get<bool>();
}

const json& List(const json& object, const char* key, const std::string& where) {
  static const json kEmpty = json::array();
  const json* value = Member(object, key);
  if (value == nullptr) return kEmpty;
  if (!value->is_array()) Refuse(where, "\"" + std::string(key) + "\" must be a list");
  return *value;
}

// Position of a name in a list of names; -1 when it is not there.
template <size_t N>
int NameIndex(const std::array<const char*, N>& names, const std::string& name) {
  for (size_t i = 0; i < N; ++i)
    if (name == names[i]) return static_cast<int>(i);
  return -1;
}

template <size_t N>
int Choice(const json& object, const char* key, const std::string& where, const std::array<const char*, N>& names) {
  const json* value = Member(object, key);
  if (value == nullptr) return 0;
  int choice = value->is_string() ? NameIndex(names, value->get<std::string>()) : -1;
  if (choice < 0) Refuse(where, "\"" + std::string(key) + "\" must be one of " + [&] {
    std::string all;
    for (const char* n : names) all += (all.empty() ? "" : ", ") + std::string(n);
    return all;
  }());
  return choice;
}

TFieldDefinition ParseField(const json& object, int32_t number) {
  std::string where = "field " + std::to_string(number);
  CheckKeys(object, where,
            {"name", "type", "size", "scale", "required", "minimum", "maximum", "default", "charCase",
             "description", "compression", "number", "offset", "physicalSize"});
  TFieldDefinition field;
  field.number = number;
  field.name = Text(object, "name", where);
  where += " (\"" + Windows1252ToUtf8(field.name) + "\")";
  const json* type = Member(object, "type");
  if (type == nullptr || !type->is_string() ||
      !FieldTypeCodes(type->get<std::string>(), field.dataType, field.subtype))
    Refuse(where, "\"type\" must be a field type name such as \"ftString\"");
  field.size = static_cast<uint16_t>(Whole(object, "size", where, 0, UINT16_MAX));
  field.scale = static_cast<uint8_t>(Whole(object, "scale", where, 0, UINT8_MAX));
  field.required = Flag(object, "required", where);
  field.minimumValue = Text(object, "minimum", where);
  field.maximumValue = Text(object, "maximum", where);
  field.defaultValue = Text(object, "default", where);
  field.characterCase = static_cast<uint8_t>(Choice(object, "charCase", where, kCharCases));
  field.description = Text(object, "description", where);
  field.compression = static_cast<uint8_t>(Whole(object, "compression", where, 0, UINT8_MAX));
  return field;
}

int32_t FieldNumber(const std::vector<TFieldDefinition>& fields, const json& name, const std::string& where) {
  std::string wanted = StoredText(name, "fields", where);
  if (platform::SameName(wanted, kRecordIDFieldName)) return kRecordIDFieldNumber;
  if (platform::SameName(wanted, kRecordHashFieldName)) return kRecordHashFieldNumber;
  for (const TFieldDefinition& f : fields)
    if (platform::SameName(f.name, wanted)) return f.number;
  Refuse(where, "no field \"" + name.get<std::string>() + "\"");
}

std::vector<int32_t> FieldNumbers(const std::vector<TFieldDefinition>& fields, const json& names,
                                  const std::string& where) {
  std::vector<int32_t> numbers;
  for (const json& name : names) numbers.push_back(FieldNumber(fields, name, where));
  return numbers;
}

void ParseOptions(const json& options, TSchemaIndex& index, const std::string& where) {
  for (const json& option : options) {
    std::string name = option.is_string() ? option.get<std::string>() : "";
    if (name == kPrimaryOption) index.primary = true;
    else if (name == kUniqueOption) index.unique = true;
    else if (name == kCaseInsensitiveOption) index.caseInsensitive = true;
    else if (name == kDescendingOption) index.descending = true;
    else Refuse(where, "unknown index option " + option.dump());
  }
}

TSchemaIndex ParseIndex(const json& object, size_t position, const std::vector<TFieldDefinition>& fields) {
  std::string where = "index " + std::to_string(position);
  CheckKeys(object, where, {"name", "fields", "options", "descFields", "compression"});
  TSchemaIndex index;
  index.name = Text(object, "name", where);
  if (!index.name.empty()) where += " (\"" + Windows1252ToUtf8(index.name) + "\")";
  index.fieldNumbers = FieldNumbers(fields, List(object, "fields", where), where);
  if (index.fieldNumbers.empty()) Refuse(where, "\"fields\" must name at least one field");
  ParseOptions(List(object, "options", where), index, where);
  if (index.primary) {
    index.unique = true;
    index.name.clear();
  }
  std::vector<int32_t> descending = FieldNumbers(fields, List(object, "descFields", where), where);
  for (int32_t number : descending)
    if (std::find(index.fieldNumbers.begin(), index.fieldNumbers.end(), number) == index.fieldNumbers.end())
      Refuse(where, "a field of \"descFields\" is not a key field");
  // A descending index without a list of descending fields sorts on every field descending.
  for (int32_t number : index.fieldNumbers)
    index.descendingFields.push_back(
        descending.empty() ? index.descending
                           : std::find(descending.begin(), descending.end(), number) != descending.end());
  index.compression = static_cast<uint8_t>(Choice(object, "compression", where, kCompressions));
  return index;
}

// A set of characters, each character once.
std::string CharacterSet(const json& object, const char* key, const std::string& where) {
  std::string set = Text(object, key, where);
  std::sort(set.begin(), set.end(), [](char a, char b) { return uint8_t(a) < uint8_t(b); });
  set.erase(std::unique(set.begin(), set.end()), set.end());
  return set;
}

TSchemaTextIndex ParseTextIndex(const json& object, const std::vector<TFieldDefinition>& fields) {
  std::string where = "textIndex";
  CheckKeys(object, where, {"fields", "stopWords", "spaceChars", "includeChars"});
  TSchemaTextIndex text;
  text.fieldNumbers = FieldNumbers(fields, List(object, "fields", where), where);
  for (int32_t number : text.fieldNumbers) {
    const TFieldDefinition* f = number > 0 ? &fields[number - 1] : nullptr;
    if (f == nullptr || !(f->IsString() || (f->IsBlob() && f->subtype == kSubtypeMemo)))
      Refuse(where, "only string and memo fields can be text-indexed");
  }
  if (Member(object, "stopWords") != nullptr) {
    text.stopWords.emplace();
    for (const json& word : List(object, "stopWords", where))
      text.stopWords->push_back(StoredText(word, "stopWords", where));
  }
  text.spaceChars = CharacterSet(object, "spaceChars", where);
  text.includeChars = CharacterSet(object, "includeChars", where);
  return text;
}

std::string TableText(const json& schema, const char* key) { return Text(schema, key, "\"" + std::string(key) + "\""); }

void ParseTableSettings(const json& schema, TTableSchema& table) {
  const std::string where = "table";
  table.indexPageSize = static_cast<uint32_t>(Whole(schema, "indexPageSize", where, kDefaultIndexPageSize, UINT32_MAX));
  table.blobBlockSize = static_cast<uint32_t>(Whole(schema, "blobBlockSize", where, kDefaultBlobBlockSize, UINT32_MAX));
  table.description = TableText(schema, "description");
  table.locale = static_cast<uint32_t>(Whole(schema, "locale", where, 0, UINT32_MAX));
  table.userMajorVersion = static_cast<uint16_t>(Whole(schema, "userMajorVersion", where, 0, UINT16_MAX));
  table.userMinorVersion = static_cast<uint16_t>(Whole(schema, "userMinorVersion", where, 0, UINT16_MAX));
  if (Member(schema, "password") != nullptr) table.password = TableText(schema, "password");
}

std::string NameJson(const std::vector<TFieldDefinition>& fields, int32_t number) {
  if (number == kRecordIDFieldNumber) return kRecordIDFieldName;
  if (number == kRecordHashFieldNumber) return kRecordHashFieldName;
  if (number >= 1 && static_cast<size_t>(number) <= fields.size()) return Windows1252ToUtf8(fields[number - 1].name);
  return "#" + std::to_string(number);  // a damaged definition's field number
}

ordered_json NamesJson(const std::vector<TFieldDefinition>& fields, const std::vector<int32_t>& numbers) {
  ordered_json names = ordered_json::array();
  for (int32_t number : numbers) names.push_back(NameJson(fields, number));
  return names;
}

}  // namespace

const TSchemaIndex* TTableSchema::PrimaryIndex() const {
  for (const TSchemaIndex& index : indexes)
    if (index.primary) return &index;
  return nullptr;
}

bool FieldTypeCodes(std::string_view typeName, uint8_t& dataType, uint8_t& subtype) {
  for (const TTypeName& t : kTypeNames)
    if (typeName == t.name) {
      dataType = t.dataType;
      subtype = t.subtype;
      return true;
    }
  return false;
}

std::string FieldTypeName(const TFieldDefinition& field) {
  uint8_t dataType = field.dataType;
  uint8_t subtype = field.subtype;
  if (dataType == kOldIntegerCode) dataType = kFieldInteger, subtype = kSubtypeNone;
  if (dataType == kOldLargeIntCode) dataType = kFieldLargeInt, subtype = kSubtypeNone;
  for (const TTypeName& t : kTypeNames)
    if (t.dataType == dataType && t.subtype == subtype) return t.name;
  // A subtype the tool does not name reads as the plain type.
  for (const TTypeName& t : kTypeNames)
    if (t.dataType == dataType && t.subtype == kSubtypeNone) return t.name;
  return "ftUnknown";
}

TTableSchema ParseTableSchema(const json& schema) {
  CheckKeys(schema, "the table",
            {"fields", "indexes", "textIndex", "indexPageSize", "blobBlockSize", "description", "locale",
             "userMajorVersion", "userMinorVersion", "password"});
  TTableSchema table;
  const json& fields = List(schema, "fields", "the table");
  if (fields.empty()) Refuse("the table", "\"fields\" must list at least one field");
  for (const json& field : fields)
    table.fields.push_back(ParseField(field, static_cast<int32_t>(table.fields.size() + 1)));
  for (const json& index : List(schema, "indexes", "the table"))
    table.indexes.push_back(ParseIndex(index, table.indexes.size() + 1, table.fields));
  if (std::count_if(table.indexes.begin(), table.indexes.end(), [](const auto& i) { return i.primary; }) > 1)
    Refuse("indexes", "more than one index is \"ixPrimary\"");
  if (const json* text = Member(schema, "textIndex")) table.textIndex = ParseTextIndex(*text, table.fields);
  ParseTableSettings(schema, table);
  return table;
}

ordered_json FieldDefinitionJson(const TFieldDefinition& field) {
  return ordered_json{
      {"name", Windows1252ToUtf8(field.name)},
      {"type", FieldTypeName(field)},
      {"size", field.size},
      {"scale", field.scale},
      {"required", field.required},
      {"minimum", Windows1252ToUtf8(field.minimumValue)},
      {"maximum", Windows1252ToUtf8(field.maximumValue)},
      {"default", Windows1252ToUtf8(field.defaultValue)},
      {"charCase", field.characterCase < kCharCases.size() ? kCharCases[field.characterCase] : "fcNoChange"},
      {"description", Windows1252ToUtf8(field.description)},
      {"compression", field.compression},
  };
}

ordered_json IndexJson(const TSchemaIndex& index, const std::vector<TFieldDefinition>& fields) {
  ordered_json options = ordered_json::array();
  if (index.primary) options.push_back(kPrimaryOption);
  if (index.unique) options.push_back(kUniqueOption);
  if (index.caseInsensitive) options.push_back(kCaseInsensitiveOption);
  if (index.descending) options.push_back(kDescendingOption);
  std::vector<int32_t> descending;
  for (size_t i = 0; i < index.fieldNumbers.size() && i < index.descendingFields.size(); ++i)
    if (index.descendingFields[i]) descending.push_back(index.fieldNumbers[i]);
  return ordered_json{
      {"name", Windows1252ToUtf8(index.name)},
      {"fields", NamesJson(fields, index.fieldNumbers)},
      {"options", options},
      {"descFields", NamesJson(fields, descending)},
      {"compression", index.compression < kCompressions.size() ? kCompressions[index.compression] : "icNone"},
  };
}

ordered_json TextIndexJson(const TSchemaTextIndex& textIndex, const std::vector<TFieldDefinition>& fields) {
  ordered_json text{{"fields", NamesJson(fields, textIndex.fieldNumbers)}};
  if (textIndex.stopWords) {
    ordered_json words = ordered_json::array();
    for (const std::string& word : *textIndex.stopWords) words.push_back(Windows1252ToUtf8(word));
    text["stopWords"] = words;
  }
  text["spaceChars"] = Windows1252ToUtf8(textIndex.spaceChars);
  text["includeChars"] = Windows1252ToUtf8(textIndex.includeChars);
  return text;
}

}  // namespace zarnik::cli
