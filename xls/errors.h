#pragma once
// Error classes of the spreadsheet engine, one per layer. Each carries one of the
// fixed texts of xls/messages.h; callers show what() and nothing else.
#include "platform/errors.h"

#include <cstdio>
#include <string>

namespace quorvane::xls {

/// Any failure of the spreadsheet engine.
class XlsError : public Error {
public:
    using Error::Error;
};

/// The compound document cannot be found, recognised or read.
class StorageError : public XlsError {
public:
    using XlsError::XlsError;
};

/// The record stream, a record or a string inside it is malformed or refused.
class RecordError : public XlsError {
public:
    using XlsError::XlsError;
};

/// A sheet or cell query that cannot be answered (no file, a bad row, column or sheet).
class QueryError : public XlsError {
public:
    using XlsError::XlsError;
};

/// Fills the printf placeholders of a message from xls/messages.h. The patterns are
/// the engine's own constants, never text from a file.
template <typename... Args>
std::string formatMessage(const char* pattern, Args... args)
{
    const int n = std::snprintf(nullptr, 0, pattern, args...);
    if (n <= 0)
        return pattern;
    std::string out(static_cast<std::size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, args...);
    return out;
}

/// Replaces the "%d" of a message by a number of any width (a row given as INT_MIN
/// shows its 0-based number exactly).
inline std::string formatNumber(const char* pattern, long long value)
{
    std::string out(pattern);
    if (auto at = out.find("%d"); at != std::string::npos)
        out.replace(at, 2, std::to_string(value));
    return out;
}

/// "Error reading Excel records. File invalid": the one text for a malformed record stream.
[[noreturn]] void throwRecordsInvalid();

} // namespace quorvane::xls
