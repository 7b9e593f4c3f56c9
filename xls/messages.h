#pragma once
// The spreadsheet engine's fixed texts, each written once. They are shown to the
// user byte for byte; placeholders follow printf conventions ("%s" the path or
// name, "%d" a number, "%2x" a token id) and are filled by xls/errors.h.

namespace quorvane::xls::msg {

// Opening a workbook (storage layer and reader).
inline constexpr const char* WorkbookStreamName = "Workbook";
inline constexpr const char* FileNotFound = "Can't find the file \"%s\"";
inline constexpr const char* FileInvalid = "The file \"%s\" is invalid";
inline constexpr const char* CantReadFile = "Can't read file \"%s\"";
inline constexpr const char* RecordsInvalid = "Error reading Excel records. File invalid";
inline constexpr const char* InvalidVersion = "Template file is saved with an invalid Excel version";
inline constexpr const char* PasswordProtected = "File is password protected";
inline constexpr const char* TwoContinues = "Trying to add more than one CONTINUE record to the same record";
inline constexpr const char* RecordRead = "Error reading record";
inline constexpr const char* DuplicatedRow = "Duplicated ROW record";
inline constexpr const char* SheetNameExists = "Sheet name already exists: %s";
inline constexpr const char* FormulaNotSupported =
    "Formula at Row %d, column %d is not supported. Token Id: 0x%2x";

// Texts of the storage layer where the platform would give its own.
inline constexpr const char* StorageOpenFailed = "Can't open the compound document \"%s\": %s";
inline constexpr const char* StreamDamaged = "The stream \"%s\" of the compound document is damaged";

// Sheet and cell queries.
inline constexpr const char* NoAdapter = "There is no Adapter linked to the report";
inline constexpr const char* NoOpenFile = "There is no open file";
inline constexpr const char* InvalidRow = "Invalid Row (%d)";
inline constexpr const char* InvalidColumn = "Invalid Column (%d)";
inline constexpr const char* ListIndex = "List index out of bounds (%d)";

} // namespace quorvane::xls::msg
