// The table schema of the tool and the engine's table description: a schema
// becomes the description a table is created from, and a table's stored index
// definitions and text indexing parameters become their schema form.
#pragma once

#include "cli/table_schema.h"
#include "engine/core/table_description.h"
#include "engine/index/index_definition.h"
#include "engine/index/text_index_params.h"

namespace zarnik::cli {

// The description a table is created from.
TTableDescription DescriptionOf(const TTableSchema& schema);

// The definition of a schema index; the key size is left to the table creation.
TIndexDefinition IndexDefinitionOf(const TSchemaIndex& index);

TSchemaIndex SchemaIndexOf(const TIndexDefinition& definition, bool primary);
TSchemaTextIndex SchemaTextIndexOf(const TIndexDefinition& definition, const TTextIndexParams& params);

}  // namespace zarnik::cli
