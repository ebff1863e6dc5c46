// The JSON document of `zarnik info`: the data file's header fields under the
// names of the data file layout, the field definitions (the schema keys plus
// number, offset and physicalSize), the index definitions and the text index
// in their schema form.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "cli/table_schema.h"
#include "engine/data/data_header.h"
#include "engine/data/field_definition.h"

namespace zarnik::cli {

ordered_json DataHeaderJson(const TDataHeader& header);
ordered_json FieldDefinitionsJson(const std::vector<TFieldDefinition>& fields);

// {"header": ..., "fields": [...], "indexes": [...], "textIndex": {...}}
ordered_json TableInfoJson(const TDataHeader& header, const std::vector<TFieldDefinition>& fields,
                           const std::vector<TSchemaIndex>& indexes, const TSchemaTextIndex& textIndex);

}  // namespace zarnik::cli
