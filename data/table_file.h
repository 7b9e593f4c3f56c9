#pragma once
// The internal file of a curve table: an SQLite 3 database holding one table.
//
//   quorvane_table(key, value)          "format" = "Quorvane curve table", "version" = "1", "name"
//   fields(position, name, type)        type "float" or "smallint", position from 0
//   rows(<one column per field>)        rows in Age order (rowid order), NULL for an empty field
//
// Row columns carry no declared type, so each double is stored as the 8-byte
// value that was bound (REAL affinity would store integral values as integers
// and lose the sign of -0.0). Files are replaced atomically: written to a
// temporary file in the same folder, flushed to disk, then renamed.
#include <cstdint>
#include <string>
#include <vector>

#include "data/curve_table.h"

namespace quorvane::data {

/// Rows of a table in flat form: values[row * fields + f], nulls[row] bit f.
struct TableFileData {
    std::string name;
    std::vector<FieldDef> fields;
    std::vector<double> values;
    std::vector<std::uint8_t> nulls;
    std::size_t rowCount() const { return nulls.size(); }
};

/// Writes the table file; throws TableError (CannotWriteFile) and leaves any
/// former file at `path` untouched when anything fails.
void writeTableFile(const std::string& path, const TableFileData& data);

/// Reads a table file; throws TableError (CannotReadFile for a missing or
/// unreadable file, InvalidFile for a file that is not a valid table file).
TableFileData readTableFile(const std::string& path);

} // namespace quorvane::data
