// What a table's definition asks of its records: a new record with the default
// values, the required, minimum and maximum rules before a record is posted,
// the record hash, and the numbering of new records (RecordID and
// auto-increment fields) with the header counters that follow them.
#pragma once

#include <cstdint>
#include <span>

#include "engine/data/record_layout.h"
#include "engine/data/table_definition.h"
#include "platform/date_time.h"

namespace zarnik {

// Zeroes the record (status 0, link 0, RecordID 0, every field NULL) and gives
// every field with a default text, except BLOB fields, its default value; now
// stands for CURRENT_DATE, CURRENT_TIME and CURRENT_TIMESTAMP.
void InitRecord(const TTableDefinition& table, std::span<uint8_t> record, TDateTime now);

// The first rule a record breaks: ZARNIK_REQDERR for a required field that is
// NULL, ZARNIK_MINVALERR or ZARNIK_MAXVALERR for a value outside its limits
// (a NULL string counts as the empty string), with the field's name.
TDefinitionError CheckConstraints(const TTableDefinition& table, std::span<const uint8_t> record, TDateTime now);

// MD5 over the record's bytes from offset 25 to its end. When the table has
// BLOB fields (or fullMethod is asked for), over an image holding only the
// slots of the fields that are neither BLOBs nor hidden, so that rewriting a
// BLOB never changes the hash.
TRecordHash ComputeRecordHash(const TTableDefinition& table, std::span<const uint8_t> record,
                              bool fullMethod = false);

// Gives a new record the RecordID after the header's last one.
void AssignRecordID(const TTableDefinition& table, std::span<uint8_t> record);
// Raises the header's last RecordID to the record's (or follows it to 1 after
// the largest value), setting the header-changed flag when it moves.
void NoteRecordID(TTableDefinition& table, std::span<const uint8_t> record);
// Gives every NULL auto-increment field the value after the header's last one.
void AssignAutoIncrements(const TTableDefinition& table, std::span<uint8_t> record);
void NoteAutoIncrements(TTableDefinition& table, std::span<const uint8_t> record);

}  // namespace zarnik
