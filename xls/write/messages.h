#pragma once
// The writer's fixed texts, each written once, and its error class. Placeholders follow
// printf conventions and are filled by formatMessage() of xls/errors.h.
#include "xls/errors.h"

namespace quorvane::xls {

namespace msg {
inline constexpr const char* CantWriteFile =
    "Can't write to file \"%s\". Check it is not in use by another user";
inline constexpr const char* WriteFailed = "Error writing output file";
inline constexpr const char* SelectVisibleSheet = "To save this file, you must select a visible sheet";
inline constexpr const char* NoVisibleSheet = "There are not visible sheets on the file";
inline constexpr const char* SectionNotLoaded = "A section of the workbook is not loaded";
inline constexpr const char* LogicalError = "Spreadsheet engine: Logical Error";
// A cell holds at most 32767 characters (spreadsheet programs refuse longer ones).
inline constexpr const char* TextTooLong = "Text of %d characters is too long for a cell (at most 32767)";
// Where the platform would give its own text for a failed structured-storage call.
inline constexpr const char* StorageCreateFailed = "Can't create the compound document \"%s\": %s";
} // namespace msg

/// A save that cannot be carried out: the output, the workbook's state or the format.
class WriteError : public XlsError {
public:
    using XlsError::XlsError;
};

} // namespace quorvane::xls
