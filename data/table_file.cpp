#include "data/table_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

#include "platform/paths.h"

namespace quorvane::data {

namespace {

constexpr const char* FormatName = "Quorvane curve table";
constexpr const char* FormatVersion = "1";

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

std::string quoteIdentifier(const std::string& name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

const char* typeName(FieldType type) { return type == FieldType::SmallInt ? "smallint" : "float"; }

Stmt prepare(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr) != SQLITE_OK)
        return nullptr;
    return Stmt(st);
}

bool exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool syncFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

void syncFolder(const std::string& path)
{
    std::string folder = paths::folderOf(path);
    if (folder.empty())
        folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd); // best effort: the rename itself is already atomic
        ::close(fd);
    }
}

bool writeInto(sqlite3* db, const TableFileData& data)
{
    if (!exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"))
        return false;
    std::string create = "CREATE TABLE quorvane_table(key TEXT PRIMARY KEY, value TEXT);"
                         "CREATE TABLE fields(position INTEGER PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL);"
                         "CREATE TABLE rows(";
    for (std::size_t f = 0; f < data.fields.size(); ++f)
        create += (f ? ", " : "") + quoteIdentifier(data.fields[f].name);
    create += ");";
    if (!exec(db, create.c_str()))
        return false;

    Stmt meta = prepare(db, "INSERT INTO quorvane_table VALUES (?, ?)");
    if (!meta)
        return false;
    const std::pair<const char*, std::string> entries[] = {
        {"format", FormatName}, {"version", FormatVersion}, {"name", data.name}};
    for (const auto& [k, v] : entries) {
        sqlite3_bind_text(meta.get(), 1, k, -1, SQLITE_STATIC);
        sqlite3_bind_text(meta.get(), 2, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(meta.get()) != SQLITE_DONE)
            return false;
        sqlite3_reset(meta.get());
    }

    Stmt field = prepare(db, "INSERT INTO fields VALUES (?, ?, ?)");
    if (!field)
        return false;
    for (std::size_t f = 0; f < data.fields.size(); ++f) {
        sqlite3_bind_int(field.get(), 1, static_cast<int>(f));
        sqlite3_bind_text(field.get(), 2, data.fields[f].name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(field.get(), 3, typeName(data.fields[f].type), -1, SQLITE_STATIC);
        if (sqlite3_step(field.get()) != SQLITE_DONE)
            return false;
        sqlite3_reset(field.get());
    }

    const std::size_t nf = data.fields.size();
    std::string insert = "INSERT INTO rows VALUES (";
    for (std::size_t f = 0; f < nf; ++f)
        insert += f ? ", ?" : "?";
    insert += ")";
    Stmt row = prepare(db, insert);
    if (!row)
        return false;
    for (std::size_t r = 0; r < data.rowCount(); ++r) {
        for (std::size_t f = 0; f < nf; ++f) {
            const int col = static_cast<int>(f) + 1;
            if (data.nulls[r] & (1u << f))
                sqlite3_bind_null(row.get(), col);
            else if (data.fields[f].type == FieldType::SmallInt)
                sqlite3_bind_int(row.get(), col, static_cast<int>(data.values[r * nf + f]));
            else
                sqlite3_bind_double(row.get(), col, data.values[r * nf + f]);
        }
        if (sqlite3_step(row.get()) != SQLITE_DONE)
            return false;
        sqlite3_reset(row.get());
    }
    return exec(db, "COMMIT;");
}

} // namespace

void writeTableFile(const std::string& path, const TableFileData& data)
{
    const auto fail = [&]() { return TableError(format(text::CannotWriteFile, path)); };

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw fail();
    ::close(fd);

    bool ok = false;
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(temp.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        Db db(raw);
        ok = rc == SQLITE_OK && writeInto(db.get(), data);
        if (db)
            ok = sqlite3_close_v2(db.release()) == SQLITE_OK && ok;
    }
    ok = ok && syncFile(temp) && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        throw fail();
    }
    syncFolder(path);
}

TableFileData readTableFile(const std::string& path)
{
    if (!paths::fileExists(path))
        throw TableError(format(text::CannotReadFile, path));
    const auto invalid = [&]() { return TableError(format(text::InvalidFile, path)); };

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK)
        throw TableError(format(text::CannotReadFile, path));

    TableFileData data;
    {
        Stmt meta = prepare(db.get(), "SELECT key, value FROM quorvane_table");
        if (!meta)
            throw invalid();
        bool formatOk = false, versionOk = false;
        int step;
        while ((step = sqlite3_step(meta.get())) == SQLITE_ROW) {
            const auto* k = reinterpret_cast<const char*>(sqlite3_column_text(meta.get(), 0));
            const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(meta.get(), 1));
            const std::string key = k ? k : "", value = v ? v : "";
            if (key == "format")
                formatOk = value == FormatName;
            else if (key == "version")
                versionOk = value == FormatVersion;
            else if (key == "name")
                data.name = value;
        }
        if (step != SQLITE_DONE || !formatOk || !versionOk)
            throw invalid();
    }
    {
        Stmt fields = prepare(db.get(), "SELECT position, name, type FROM fields ORDER BY position");
        if (!fields)
            throw invalid();
        int step;
        while ((step = sqlite3_step(fields.get())) == SQLITE_ROW) {
            const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(fields.get(), 1));
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(fields.get(), 2));
            const std::string type = t ? t : "";
            if (!n || sqlite3_column_int(fields.get(), 0) != static_cast<int>(data.fields.size()))
                throw invalid();
            if (type != "float" && type != "smallint")
                throw invalid();
            data.fields.push_back({n, type == "smallint" ? FieldType::SmallInt : FieldType::Float, {}});
        }
        if (step != SQLITE_DONE || data.fields.empty() ||
            data.fields.size() > static_cast<std::size_t>(CurveTable::MaxFields))
            throw invalid();
    }

    const std::size_t nf = data.fields.size();
    std::string select = "SELECT ";
    for (std::size_t f = 0; f < nf; ++f)
        select += (f ? ", " : "") + quoteIdentifier(data.fields[f].name);
    select += " FROM rows ORDER BY rowid";
    Stmt rows = prepare(db.get(), select);
    if (!rows)
        throw invalid();
    int step;
    while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
        std::uint8_t nulls = 0;
        for (std::size_t f = 0; f < nf; ++f) {
            const int col = static_cast<int>(f);
            switch (sqlite3_column_type(rows.get(), col)) {
            case SQLITE_NULL:
                nulls |= static_cast<std::uint8_t>(1u << f);
                data.values.push_back(0.0);
                break;
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                data.values.push_back(sqlite3_column_double(rows.get(), col));
                break;
            default: // text or blob where a number belongs
                throw invalid();
            }
        }
        data.nulls.push_back(nulls);
    }
    if (step != SQLITE_DONE)
        throw invalid();
    return data;
}

} // namespace quorvane::data
